#include "readers/address_book.h"

#include <cmath>

#include "platform/date_time.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/contact_formats.h"
#include "readers/picture.h"
#include "readers/record_text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

// A stored birthday or date: seconds since 2001-01-01 as a day count; 0 for nothing.
double DayCountOf2001Seconds(double seconds) {
    return seconds == 0 ? 0 : DayCountOrNone(seconds / 86400.0 + kDeviceEpochDays);
}

std::string TrimmedName(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') {
        --last;
    }
    return text.substr(first, last - first);
}

std::string StripLabel(const std::string& stored) {
    std::string label;
    for (char c : stored) {
        if (c != '!' && c != '$' && c != '<' && c != '>' && c != '_') {
            label += c;
        }
    }
    return label;
}

// How many characters of an international number are its "+" and country code.
std::size_t CountryCodeLength(const std::string& key) {
    if (key.size() <= 4) {
        return 2;
    }
    const char first = key[1];
    const char second = key[2];
    const auto in = [second](const char* set) {
        return std::string_view(set).find(second) != std::string_view::npos;
    };
    switch (first) {
    case '2':
        return in("078") ? 3 : 4;
    case '3':
        return in("578") ? 4 : 3;
    case '4':
        return in("2") ? 4 : 3;
    case '5':
        return in("09") ? 4 : 3;
    case '6':
        return in("789") ? 4 : 3;
    case '8':
        return in("0578") ? 4 : 3;
    case '9':
        return in("678") ? 4 : 3;
    default:
        return 2;
    }
}

} // namespace

const std::string* TAbNames::Label(std::int32_t position) const {
    return position >= 1 && static_cast<std::size_t>(position) <= Labels.size()
               ? &Labels[static_cast<std::size_t>(position) - 1]
               : nullptr;
}

const std::string* TAbNames::EntryKey(std::int32_t position) const {
    return position >= 1 && static_cast<std::size_t>(position) <= EntryKeys.size()
               ? &EntryKeys[static_cast<std::size_t>(position) - 1]
               : nullptr;
}

std::string TAbMultiValue::LabelText(const TAbNames& names) const {
    if (const std::string* label = names.Label(Label)) {
        return *label;
    }
    switch (Property) {
    case abpPhone:
        return "Phone";
    case abpEmail:
        return "Email";
    case abpAddress:
        return "Address";
    case abpDate:
        return "Date";
    case abpInstantMessage:
        return "AIM";
    case abpUrl:
        return "URL";
    default:
        return "Other";
    }
}

std::string TAbMultiValue::ValueText() const {
    if (Property == abpAddress) {
        std::string text;
        for (const TAbMultiEntry& entry : Entries) {
            text += entry.Value + ", ";
        }
        return text;
    }
    if (Property == abpDate) {
        char* end = nullptr;
        const double seconds = std::strtod(Value.c_str(), &end);
        const bool number = end != Value.c_str() && *end == '\0';
        return number && seconds != 0 ? DateText(DayCountOf2001Seconds(seconds)) : Value;
    }
    return Value;
}

const TAbMultiValue* TAbPerson::GetMultiValue(int index) const {
    return index >= 0 && index < MultiValueCount() ? &MultiValues[static_cast<std::size_t>(index)] : nullptr;
}

std::string TAbPerson::FullName() const {
    std::string name = Prefix.empty() ? Name : Prefix + ", " + Name;
    return Suffix.empty() ? name : name + ", " + Suffix;
}

std::string TAbPerson::JobLine() const {
    std::string line = JobTitle;
    if (!Department.empty()) {
        line += " " + Department;
    }
    if (!Organization.empty()) {
        line += " " + Organization;
    }
    return line;
}

std::optional<std::string> TAbPerson::Thumbnail() const {
    return ThumbnailData ? ThumbnailJpeg(*ThumbnailData) : std::nullopt;
}

std::string PhoneKey(const std::string& phone) {
    static constexpr std::string_view kRemoved = " #$&'()*-:={}";
    std::string key;
    for (char c : phone) {
        if (kRemoved.find(c) == std::string_view::npos) {
            key += c;
        }
    }
    if (!key.empty() && key.front() == '+') {
        key.erase(0, std::min(key.size(), CountryCodeLength(key)));
    }
    return key;
}

std::string DisplayNameOf(const TAbPerson& person, bool lastNameFirst) {
    if (person.First.empty() && person.Last.empty()) {
        return {};
    }
    const std::string& a = lastNameFirst ? person.Last : person.First;
    const std::string& b = lastNameFirst ? person.First : person.Last;
    return TrimmedName(person.Middle.empty() ? a + " " + b : a + " " + person.Middle + " " + b);
}

TAddressBook::TAddressBook(const std::string& fileName, const std::string& imagesFileName, bool lastNameFirst,
                           int utcOffset)
    : FLastNameFirst(lastNameFirst), FUtcOffset(utcOffset), FImagesFileName(imagesFileName) {
    if (!FileExists(fileName)) {
        return;
    }
    {
        const auto db = OpenDeviceDatabase(fileName);
        ReadPersons(*db);
        if (FRowIds.empty()) {
            return;
        }
        ReadMultiValues(*db);
        ReadNames(*db);
    }
    if (!FImagesFileName.empty()) {
        ReadThumbnails();
    }
}

const TAbPerson& TAddressBook::GetPerson(int index) const {
    return FPersons.at(FRowIds.at(static_cast<std::size_t>(index)));
}

void TAddressBook::ReadPersons(TSQLiteDatabase& db) {
    const auto table = db.GetTable("SELECT * FROM abperson");
    const int rowId = table->FieldIndex("ROWID");
    const int first = table->FieldIndex("First");
    const int last = table->FieldIndex("Last");
    const int middle = table->FieldIndex("Middle");
    const int nickname = table->FieldIndex("Nickname");
    const int kind = table->FieldIndex("Kind");
    const int birthday = table->FieldIndex("Birthday");
    const int department = table->FieldIndex("Department");
    const int jobTitle = table->FieldIndex("JobTitle");
    const int organization = table->FieldIndex("Organization");
    const int note = table->FieldIndex("Note");
    const int prefix = table->FieldIndex("Prefix");
    const int suffix = table->FieldIndex("Suffix");
    const int created = table->FieldExists("CreationDate") ? table->FieldIndex("CreationDate") : -1;
    for (; !table->Eof(); table->Next()) {
        TAbPerson person;
        person.RowId = table->FieldAsInteger(rowId);
        person.First = table->FieldAsString(first);
        person.Last = table->FieldAsString(last);
        person.Middle = table->FieldAsString(middle);
        person.Nickname = table->FieldAsString(nickname);
        person.Kind = static_cast<std::int32_t>(table->FieldAsInteger(kind));
        person.Birthday =
            table->FieldIsNull(birthday) ? 0 : DayCountOf2001Seconds(table->FieldAsDouble(birthday));
        person.Department = table->FieldAsString(department);
        person.JobTitle = table->FieldAsString(jobTitle);
        person.Organization = table->FieldAsString(organization);
        person.Note = table->FieldAsString(note);
        person.Prefix = table->FieldAsString(prefix);
        person.Suffix = table->FieldAsString(suffix);
        if (created >= 0 && !table->FieldIsNull(created)) {
            person.Created = DeviceDate(table->FieldAsDouble(created), FUtcOffset, kDeviceEpochDays);
        }
        person.Name = DisplayNameOf(person, FLastNameFirst);
        if (FPersons.emplace(person.RowId, std::move(person)).second) {
            FRowIds.push_back(table->FieldAsInteger(rowId));
        }
    }
}

void TAddressBook::ReadMultiValues(TSQLiteDatabase& db) {
    std::unordered_map<std::int64_t, std::vector<TAbMultiEntry>> entries; // by parent, in table order
    {
        const auto table = db.GetTable("SELECT * FROM abmultivalueentry");
        const int parent = table->FieldIndex("parent_id");
        const int key = table->FieldIndex("key");
        const int value = table->FieldIndex("value");
        for (; !table->Eof(); table->Next()) {
            TAbMultiEntry entry{static_cast<std::int32_t>(table->FieldAsInteger(parent)),
                                static_cast<std::int32_t>(table->FieldAsInteger(key)),
                                table->FieldAsString(value)};
            entries[entry.ParentId].push_back(std::move(entry));
        }
    }
    const auto table = db.GetTable("SELECT * FROM abmultivalue");
    const int uid = table->FieldIndex("UID");
    const int recordId = table->FieldIndex("record_id");
    const int property = table->FieldIndex("property");
    const int identifier = table->FieldIndex("identifier");
    const int label = table->FieldIndex("label");
    const int value = table->FieldIndex("value");
    for (; !table->Eof(); table->Next()) {
        const auto person = FPersons.find(table->FieldAsInteger(recordId));
        if (person == FPersons.end()) {
            continue;
        }
        TAbMultiValue multi;
        multi.UID = static_cast<std::int32_t>(table->FieldAsInteger(uid));
        multi.Property = static_cast<std::int32_t>(table->FieldAsInteger(property));
        multi.Identifier = static_cast<std::int32_t>(table->FieldAsInteger(identifier));
        multi.Label = static_cast<std::int32_t>(table->FieldAsInteger(label));
        if (multi.Property == abpAddress) {
            if (const auto found = entries.find(multi.UID); found != entries.end()) {
                multi.Entries = found->second;
            }
        } else {
            multi.Value = table->FieldAsString(value);
            if (multi.Property == abpPhone) {
                FPhoneIndex.try_emplace(PhoneKey(multi.Value), person->first); // the first contact keeps it
            }
            if (multi.Value.empty()) {
                continue;
            }
        }
        person->second.MultiValues.push_back(std::move(multi));
    }
}

void TAddressBook::ReadNames(TSQLiteDatabase& db) {
    {
        const auto labels = db.GetTable("SELECT * FROM abmultivaluelabel");
        const int value = labels->FieldIndex("value");
        for (; !labels->Eof(); labels->Next()) {
            FNames.Labels.push_back(StripLabel(labels->FieldAsString(value)));
        }
    }
    const auto keys = db.GetTable("SELECT * FROM abmultivalueentrykey");
    const int value = keys->FieldIndex("value");
    for (; !keys->Eof(); keys->Next()) {
        FNames.EntryKeys.push_back(keys->FieldAsString(value));
    }
}

void TAddressBook::ReadThumbnails() {
    if (!FileExists(FImagesFileName)) {
        FImagesFileName.clear();
        return;
    }
    const auto db = OpenDeviceDatabase(FImagesFileName);
    FHasThumbnailTable = db->TableExists("abthumbnailimage");
    const auto table =
        db->GetTable(FHasThumbnailTable ? "SELECT * FROM abthumbnailimage" : "SELECT * FROM abimage");
    const int recordId = table->FieldIndex("record_id");
    const int format = table->FieldIndex("format");
    const int data = table->FieldIndex("data");
    std::int64_t runRecord = -1;
    bool runTaken = false;
    for (; !table->Eof(); table->Next()) {
        const std::int64_t record = table->FieldAsInteger(recordId);
        if (record != runRecord) {
            runRecord = record;
            runTaken = false;
        }
        const std::int64_t kind = table->FieldAsInteger(format);
        const auto person = FPersons.find(record);
        if (runTaken || (kind != 0 && kind != 1) || person == FPersons.end()) {
            continue;
        }
        // Within a run of rows of one contact only the first usable one counts.
        runTaken = true;
        if (const std::string_view picture = table->FieldAsBlobView(data); picture.size() >= 4) {
            person->second.ThumbnailData = std::string(picture);
        }
    }
}

std::string TAddressBook::FindNameByPhone(const std::string& phone) const {
    const auto found = FPhoneIndex.find(PhoneKey(phone));
    if (found == FPhoneIndex.end()) {
        return phone;
    }
    return FPersons.at(found->second).Name;
}

std::string TAddressBook::FindNameByRowId(std::int64_t rowId) const {
    const auto found = FPersons.find(rowId);
    return found == FPersons.end() ? std::string() : found->second.Name;
}

std::optional<std::string> TAddressBook::GetPhotoStream(int index) const {
    if (FImagesFileName.empty() || index < 0 || index >= Count()) {
        return std::nullopt;
    }
    // The picture rows name their contact in record_id (their own ROWIDs are the pictures' own).
    const std::string id = std::to_string(FRowIds[static_cast<std::size_t>(index)]);
    const auto db = OpenDeviceDatabase(FImagesFileName);
    const auto table = db->GetTable(
        FHasThumbnailTable ? "SELECT data FROM abfullsizeimage WHERE record_id = " + id
                           : "SELECT data FROM abimage WHERE record_id = " + id + " AND format = 0");
    if (table->Eof()) {
        return std::nullopt;
    }
    std::string data = table->FieldAsBlob(0);
    return data.empty() ? std::nullopt : std::optional<std::string>(std::move(data));
}

std::string TAddressBook::ToVCard(int index) const {
    return ContactVCard(GetPerson(index), FNames);
}

std::string TAddressBook::ToCsvRow(int index) const {
    return ContactCsvRow(GetPerson(index), FNames);
}

} // namespace kestrow
