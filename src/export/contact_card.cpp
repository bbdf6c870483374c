#include "export/contact_card.h"

#include <cmath>

#include "platform/date_time.h"
#include "readers/address_book.h"
#include "readers/record_text.h"

namespace kestrow {

namespace {

constexpr int kPropertyPhone = 3;
constexpr int kPropertyAddress = 5;
constexpr int kCardPictureSide = 100;

constexpr std::string_view kCardHead =
    "<!DOCTYPE HTML><html><head><meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" "
    "content=\"IE=edge\"/><style type=\"text/css\">body{font:9pt "
    "sans-serif;margin:11px;border-style:none;background:#f2f2f2}table{border-collapse:separate;margin:11px;"
    "border:1px "
    "solid #C5CCD3;width:96%;background-color:#fff;border-radius:6px;box-shadow:1px 1px "
    "#fff}img{float:left;vertical-align:middle;display:table-cell;margin:15px;width:100px;height:100px;"
    "border-"
    "radius:50%;border:1px solid #C5CCD3;box-shadow:1px 1px "
    "#fff}span{vertical-align:middle;display:table-cell}p{"
    "font-weight:bold;text-shadow:1px 1px "
    "#fff}.r{color:#6B6B6B;padding:5px 10px 5px 5px;width:25%;text-align:right}.t{display:table}</style></"
    "head><body><div class=\"t\">";

constexpr std::string_view kPlaceholder =
    "<img src=\"data:image/png;base64,R0lGODlhAQABAIAAAP///wAAACH5BAAAAAAALAAAAAABAAEAAAICRAEAOw==\"/>";

std::string Row(const std::string& label, const std::string& value) {
    return "<tr><td class=\"r\">" + HtmlEscape(label) + "</td><td>" + HtmlEscape(value) + "</td></tr>";
}

std::string Table(const std::string& rows) {
    return rows.empty() ? std::string() : "<table>" + rows + "</table>";
}

std::string ValueTables(const TAbPerson& person, const TAbNames& names) {
    std::string phones;
    std::string addresses;
    std::string others;
    for (const TAbMultiValue& value : person.MultiValues) {
        const std::string row = Row(value.LabelText(names), value.ValueText());
        (value.Property == kPropertyPhone     ? phones
         : value.Property == kPropertyAddress ? addresses
                                              : others) += row;
    }
    if (person.Birthday != 0) {
        others = Row("Birthday", DateText(person.Birthday)) + others;
    }
    std::string tables = Table(phones) + Table(addresses) + Table(others);
    if (!person.Note.empty()) {
        tables += "<table>" + Row("Notes", person.Note) + "</table>";
    }
    return tables;
}

int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value)); // the default rounding mode: halves to even
}

} // namespace

void CardPictureSize(int width, int height, int& shownWidth, int& shownHeight) {
    shownWidth = width;
    shownHeight = height;
    if (width <= kCardPictureSide && height <= kCardPictureSide) {
        return;
    }
    if (width < height) {
        shownHeight = kCardPictureSide;
        shownWidth = RoundHalfEven(static_cast<double>(width) * kCardPictureSide / height);
    } else {
        shownWidth = kCardPictureSide;
        shownHeight = RoundHalfEven(static_cast<double>(height) * kCardPictureSide / width);
    }
}

std::string BuildContactCard(const TAbPerson& person, const TAbNames& names,
                             const std::optional<TInlinePicture>& picture) {
    std::string page(kCardHead);
    if (picture) {
        page += "<img src=\"data:" + HtmlEscape(picture->Mime) + ";base64," +
                InlinePictureBase64(picture->Bytes) + "\"/>";
    } else {
        page += kPlaceholder;
    }
    page += "<span><p>" + HtmlEscape(person.FullName()) + "</p>";
    if (!person.Nickname.empty()) {
        page += HtmlEscape(person.Nickname) + "<br>";
    }
    page += HtmlEscape(person.JobLine()) + "</span></div>";
    if (!person.MultiValues.empty()) {
        page += ValueTables(person, names);
    }
    return page + "</body></html>";
}

} // namespace kestrow
