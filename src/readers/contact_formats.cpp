#include "readers/contact_formats.h"

#include <array>
#include <vector>

#include "platform/date_time.h"
#include "platform/text.h"
#include "readers/address_book.h"

namespace kestrow {

namespace {

constexpr std::size_t kQuotedLine = 75;
constexpr std::size_t kPhotoLine = 72;

bool NeedsEscape(unsigned char c) {
    return c < 0x20 || c == '=' || c >= 0x7F;
}

std::string Base64Lines(std::string_view data) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t a = static_cast<unsigned char>(data[i]);
        const std::uint32_t b = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        const std::uint32_t c = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
        const std::uint32_t triple = (a << 16) | (b << 8) | c;
        encoded += kAlphabet[(triple >> 18) & 63];
        encoded += kAlphabet[(triple >> 12) & 63];
        encoded += i + 1 < data.size() ? kAlphabet[(triple >> 6) & 63] : '=';
        encoded += i + 2 < data.size() ? kAlphabet[triple & 63] : '=';
    }
    std::string lines;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        lines += encoded[i];
        if ((i + 1) % kPhotoLine == 0) {
            lines += "\r\n"; // a break after every 72 characters; a final partial line has none
        }
    }
    return lines;
}

// suffix + encoded value
std::string Encoded(std::string_view text) {
    return QuotedPrintableSuffix(text) + QuotedPrintable(text);
}

std::string LabelPart(const TAbMultiValue& value, const TAbNames& names) {
    const std::string* label = names.Label(value.Label);
    if (label == nullptr) {
        return {};
    }
    if (SameTextAscii(*label, "Home") || SameTextAscii(*label, "Work")) {
        return ";" + *label;
    }
    if (SameTextAscii(*label, "Mobile") || SameTextAscii(*label, "IPhone")) {
        return ";CELL";
    }
    return {};
}

std::string AddressParts(const TAbMultiValue& value, const TAbNames& names) {
    static constexpr std::array<std::string_view, 5> kKeys = {"Street", "City", "State", "Zip", "Country"};
    std::array<std::string, 7> parts;
    parts.fill(";");
    for (const TAbMultiEntry& entry : value.Entries) {
        const std::string* key = names.EntryKey(entry.Key);
        for (std::size_t k = 0; key != nullptr && k < kKeys.size(); ++k) {
            if (SameTextAscii(*key, kKeys[k])) {
                parts[k + 1] = ";" + entry.Value; // a later entry of a key wins
            }
        }
    }
    std::string joined;
    for (std::size_t i = 0; i < 6; ++i) {
        joined += parts[i];
    }
    return joined;
}

std::string MultiValueLine(const TAbMultiValue& value, const TAbNames& names) {
    std::string type;
    switch (value.Property) {
    case abpPhone:
        type = "TEL";
        break;
    case abpEmail:
        type = "EMAIL";
        break;
    case abpAddress:
        type = "ADR";
        break;
    case abpUrl:
        type = "URL";
        break;
    default:
        return {}; // written as an empty line
    }
    std::string line = type + LabelPart(value, names);
    if (value.Property == abpPhone) {
        line += ";VOICE";
    }
    if (value.Identifier == 0) {
        line += ";PREF";
    }
    // Every value that is not plain ASCII is quoted-printable: a vCard stays 7-bit.
    return line + Encoded(value.Property == abpAddress ? AddressParts(value, names) : value.Value);
}

// The CSV columns a contact's multi-values fill.
struct TCsvValues {
    std::string WebPage;
    std::array<std::string, 3> Emails;
    std::size_t EmailCount = 0;
    std::string Primary, Home, Home2, Mobile, HomeFax, Business, Business2, BusinessFax, OtherPhone, OtherFax;
    int HomeCount = 0;
    int WorkCount = 0;
    struct TAddress {
        std::vector<std::string> Street;
        std::string City, State, Zip, Country;
    };
    TAddress HomeAddress, BusinessAddress, OtherAddress;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

void AddPhone(TCsvValues& v, const TAbMultiValue& value, const TAbNames& names) {
    const std::string* label = names.Label(value.Label);
    const std::string name = label != nullptr ? AsciiUpper(*label) : std::string();
    if (name == "HOME" && v.HomeCount < 2) {
        (v.HomeCount++ == 0 ? v.Home : v.Home2) = value.Value;
    } else if (name == "WORK" && v.WorkCount < 2) {
        (v.WorkCount++ == 0 ? v.Business : v.Business2) = value.Value;
    } else if (name == "MOBILE" || name == "IPHONE") {
        v.Mobile = value.Value;
    } else if (name == "HOMEFAX") {
        v.HomeFax = value.Value;
    } else if (name == "WORKFAX") {
        v.BusinessFax = value.Value;
    } else if (name.find("FAX") != std::string::npos) {
        v.OtherFax = value.Value;
    } else {
        v.OtherPhone = value.Value; // unlabelled numbers, and a third home or work number, too
    }
    if (value.Identifier == 0) {
        v.Primary = value.Value;
    }
}

void AddAddress(TCsvValues& v, const TAbMultiValue& value, const TAbNames& names) {
    const std::string* label = names.Label(value.Label);
    TCsvValues::TAddress& address = label != nullptr && SameTextAscii(*label, "Home")   ? v.HomeAddress
                                    : label != nullptr && SameTextAscii(*label, "Work") ? v.BusinessAddress
                                                                                        : v.OtherAddress;
    for (const TAbMultiEntry& entry : value.Entries) {
        const std::string* key = names.EntryKey(entry.Key);
        if (key == nullptr) {
            continue;
        }
        if (SameTextAscii(*key, "Street")) {
            address.Street = Lines(entry.Value);
        } else if (SameTextAscii(*key, "City")) {
            address.City = entry.Value;
        } else if (SameTextAscii(*key, "State")) {
            address.State = entry.Value;
        } else if (SameTextAscii(*key, "Zip")) {
            address.Zip = entry.Value;
        } else if (SameTextAscii(*key, "Country")) {
            address.Country = entry.Value;
        }
    }
}

TCsvValues CsvValues(const TAbPerson& person, const TAbNames& names) {
    TCsvValues v;
    for (const TAbMultiValue& value : person.MultiValues) {
        switch (value.Property) {
        case abpPhone:
            AddPhone(v, value, names);
            break;
        case abpEmail:
            if (v.EmailCount < v.Emails.size()) {
                v.Emails[v.EmailCount++] = value.Value;
            }
            break;
        case abpUrl:
            v.WebPage = value.Value;
            break;
        case abpAddress:
            AddAddress(v, value, names);
            break;
        default:
            break;
        }
    }
    return v;
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// One part of a structured value (N, ORG): its own ";" and "," escaped so that it stays one part.
std::string NamePart(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == ';' || c == ',') {
            escaped += '\\';
        }
        escaped += c;
    }
    return QuotedPrintable(escaped);
}

class TCsvRow {
public:
    void Field(const std::string& text) {
        if (TrimBlanks(text).empty()) {
            FRow += ',';
            return;
        }
        FRow += '"';
        for (char c : CsvCellText(text)) {
            FRow += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        FRow += "\",";
    }
    void Street(const std::vector<std::string>& lines) {
        Field(lines.size() > 0 ? lines[0] : std::string());
        Field(lines.size() > 1 ? lines[1] : std::string());
        std::string rest;
        for (std::size_t i = 2; i < lines.size(); ++i) {
            rest += (i > 2 ? " " : "") + lines[i];
        }
        Field(TrimBlanks(rest));
    }
    void Address(const TCsvValues::TAddress& address) {
        Street(address.Street);
        Field(address.City);
        Field(address.State);
        Field(address.Zip);
        Field(address.Country);
    }
    std::string Text() const { return FRow.empty() ? FRow : FRow.substr(0, FRow.size() - 1); }

private:
    std::string FRow;
};

} // namespace

std::string QuotedPrintable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t count = 0;
    for (unsigned char c : text) {
        if (NeedsEscape(c)) {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        if (++count % kQuotedLine == 0) {
            out += "=\r\n";
        }
    }
    return out;
}

std::string QuotedPrintableSuffix(std::string_view text) {
    for (unsigned char c : text) {
        if (NeedsEscape(c)) {
            return ";CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE:";
        }
    }
    return ":";
}

std::string ContactVCard(const TAbPerson& person, const TAbNames& names) {
    std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    // The N line declares its encoding by all its parts, not the display name alone: a prefix or
    // suffix that is not ASCII is encoded too.
    const std::string nameParts = person.Last + person.First + person.Middle + person.Prefix + person.Suffix;
    card += "N" + QuotedPrintableSuffix(person.Name + nameParts) + NamePart(person.Last) + ";" +
            NamePart(person.First) + ";" + NamePart(person.Middle) + ";" + NamePart(person.Prefix) + ";" +
            NamePart(person.Suffix) + "\r\n";
    card += "FN" + Encoded(person.Name) + "\r\n";
    if (!person.Organization.empty()) {
        card += "ORG" + QuotedPrintableSuffix(person.Organization + person.Department) +
                NamePart(person.Organization);
        if (!person.Department.empty()) {
            card += ";" + NamePart(person.Department);
        }
        card += "\r\n";
    }
    if (!person.JobTitle.empty()) {
        card += "TITLE" + Encoded(person.JobTitle) + "\r\n";
    }
    if (person.Birthday != 0) {
        card +=
            "BDAY:" + IsoLocalText(person.Birthday).substr(0, 10) + "\r\n"; // ISO 8601, as vCard 2.1 wants
    }
    for (const TAbMultiValue& value : person.MultiValues) {
        card += MultiValueLine(value, names) + "\r\n";
    }
    if (!person.Note.empty()) {
        card += "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + QuotedPrintable(person.Note) + "\r\n";
    }
    if (const std::optional<std::string> thumbnail = person.Thumbnail()) {
        card += "PHOTO;TYPE=JPEG;ENCODING=BASE64:\r\n" + Base64Lines(*thumbnail) + "\r\n\r\n";
    }
    return card + "END:VCARD";
}

std::string ContactCsvRow(const TAbPerson& person, const TAbNames& names) {
    const TCsvValues v = CsvValues(person, names);
    TCsvRow row;
    for (const std::string* text : {&person.First, &person.Middle, &person.Last, &person.Suffix,
                                    &person.Prefix, &person.Nickname, &v.WebPage}) {
        row.Field(*text);
    }
    row.Field(person.Birthday != 0 ? DateText(person.Birthday) : std::string());
    for (const std::string* text :
         {&person.Note, &person.Organization, &person.JobTitle, &person.Department, &v.Emails[0],
          &v.Emails[1], &v.Emails[2], &v.Primary, &v.Home, &v.Home2, &v.Mobile, &v.HomeFax}) {
        row.Field(*text);
    }
    row.Address(v.HomeAddress);
    row.Field(v.Business);
    row.Field(v.Business2);
    row.Field(v.BusinessFax);
    row.Address(v.BusinessAddress);
    row.Field(v.OtherPhone);
    row.Field(v.OtherFax);
    row.Address(v.OtherAddress);
    return row.Text();
}

} // namespace kestrow
