#include "export/note_page.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "crypto/base64.h"
#include "platform/date_time.h"
#include "platform/text.h"
#include "readers/note_body.h"
#include "readers/notes.h"
#include "readers/picture.h"
#include "readers/record_text.h"

namespace kestrow {

namespace {

constexpr std::array<std::string_view, 38> kKeptElements = {
    "a",      "abbr",   "b",   "big",  "blockquote", "br",    "center", "code", "dd",    "div",
    "dl",     "dt",     "em",  "font", "h1",         "h2",    "h3",     "h4",   "h5",    "h6",
    "hr",     "i",      "img", "li",   "ol",         "p",     "pre",    "s",    "small", "span",
    "strike", "strong", "sub", "sup",  "table",      "tbody", "td",     "tr"};
constexpr std::array<std::string_view, 8> kMoreKeptElements = {"tfoot", "th", "thead",   "tt",
                                                               "u",     "ul", "caption", "col"};
// Elements removed with everything inside them.
constexpr std::array<std::string_view, 11> kDroppedWithContent = {
    "script", "style",    "iframe",   "object", "embed", "frameset",
    "frame",  "noscript", "template", "title",  "svg"};
constexpr std::array<std::string_view, 8> kKeptAttributes = {"align", "color",   "face",    "size",
                                                             "dir",   "colspan", "rowspan", "class"};

template <std::size_t N> bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == ':';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// What separates attributes: blanks, and the "/" of "<br/>".
bool IsSpace(char c) {
    return IsBlank(c) || c == '/';
}

// One attribute of a tag: name in lower case, value with entities left as written.
struct TAttribute {
    std::string Name;
    std::string Value;
};

// Reads the attributes of the tag text after its name.
std::vector<TAttribute> Attributes(std::string_view text) {
    std::vector<TAttribute> attributes;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsSpace(text[at])) {
            ++at;
        }
        const std::size_t nameStart = at;
        while (at < text.size() && !IsSpace(text[at]) && text[at] != '=') {
            ++at;
        }
        TAttribute attribute{AsciiLower(text.substr(nameStart, at - nameStart)), {}};
        if (at < text.size() && text[at] == '=') {
            ++at;
            const char quote = at < text.size() && (text[at] == '"' || text[at] == '\'') ? text[at] : '\0';
            const std::size_t valueStart = quote != '\0' ? at + 1 : at;
            std::size_t valueEnd = valueStart;
            while (valueEnd < text.size() &&
                   (quote != '\0' ? text[valueEnd] != quote : !IsBlank(text[valueEnd]))) {
                ++valueEnd;
            }
            attribute.Value = std::string(text.substr(valueStart, valueEnd - valueStart));
            at = quote != '\0' && valueEnd < text.size() ? valueEnd + 1 : valueEnd;
        }
        if (!attribute.Name.empty()) {
            attributes.push_back(std::move(attribute));
        }
    }
    return attributes;
}

// The URL of an attribute value as a browser would read its scheme: entities and blanks inside
// the scheme do not hide it.
std::string SchemeOf(std::string_view value) {
    const std::string decoded = AsciiLower(HtmlUnescape(value));
    std::string scheme;
    for (const char c : decoded) {
        if (c == ':') {
            return scheme;
        }
        if (static_cast<unsigned char>(c) > ' ') {
            scheme += c;
        }
    }
    return {};
}

bool IsSafeAttribute(std::string_view element, const TAttribute& attribute) {
    if (OneOf(kKeptAttributes, attribute.Name)) {
        return true;
    }
    if (element == "a" && attribute.Name == "href") {
        const std::string scheme = SchemeOf(attribute.Value);
        return scheme == "http" || scheme == "https" || scheme == "mailto";
    }
    if (element == "img" && attribute.Name == "src") {
        return SchemeOf(attribute.Value) == "data" &&
               StartsWith(AsciiLower(HtmlUnescape(attribute.Value)), "data:image/");
    }
    return false;
}

// An attribute value between double quotes: & < > " as entities, nothing else changed.
std::string AttributeText(std::string_view value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            out.append("&quot;");
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string CleanTag(std::string_view name, std::string_view rest, bool closing) {
    std::string tag(closing ? "</" : "<");
    tag.append(name);
    if (!closing) {
        for (const TAttribute& attribute : Attributes(rest)) {
            if (IsSafeAttribute(name, attribute)) {
                tag.append(" ").append(attribute.Name).append("=\"");
                tag.append(AttributeText(HtmlUnescape(attribute.Value))).append("\"");
            }
        }
    }
    tag.push_back('>');
    return tag;
}

// The end of the tag starting at `at` (the position after its ">"), quotes respected; npos when open.
std::size_t TagEnd(std::string_view body, std::size_t at) {
    char quote = '\0';
    for (std::size_t i = at; i < body.size(); ++i) {
        if (quote != '\0') {
            quote = body[i] == quote ? '\0' : quote;
        } else if (body[i] == '"' || body[i] == '\'') {
            quote = body[i];
        } else if (body[i] == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// Past the closing tag of a dropped element (or the end of the body).
std::size_t SkipElement(std::string_view body, const std::string& lower, std::size_t from,
                        std::string_view name) {
    const std::string closing = "</" + std::string(name);
    std::size_t at = from;
    for (;;) {
        at = lower.find(closing, at);
        if (at == std::string::npos) {
            return body.size();
        }
        const std::size_t after = at + closing.size();
        if (after >= body.size() || !IsNameChar(body[after])) {
            const std::size_t end = body.find('>', after);
            return end == std::string_view::npos ? body.size() : end + 1;
        }
        at = after;
    }
}

} // namespace

std::string SafeNoteHtml(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    const std::string lower = AsciiLower(body);
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t open = body.find('<', at);
        out.append(body.substr(at, open == std::string_view::npos ? std::string_view::npos : open - at));
        if (open == std::string_view::npos) {
            break;
        }
        if (body.substr(open, 4) == "<!--") {
            const std::size_t end = body.find("-->", open + 4);
            at = end == std::string_view::npos ? body.size() : end + 3;
            continue;
        }
        const bool closing = open + 1 < body.size() && body[open + 1] == '/';
        const std::size_t nameStart = open + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < body.size() && IsNameChar(body[nameEnd])) {
            ++nameEnd;
        }
        const bool markup = nameEnd > nameStart ||
                            (nameStart < body.size() && (body[nameStart] == '!' || body[nameStart] == '?'));
        if (!markup) {
            out += "&lt;"; // not a tag: the "<" is text
            at = open + 1;
            continue;
        }
        const std::size_t end = TagEnd(body, nameEnd);
        if (end == std::string_view::npos) {
            out += HtmlEscape(body.substr(open)); // a tag left open to the end: the rest is text
            break;
        }
        const std::string name = AsciiLower(body.substr(nameStart, nameEnd - nameStart));
        at = end;
        if (!closing && OneOf(kDroppedWithContent, name)) {
            at = SkipElement(body, lower, end, name);
        } else if (!name.empty() && (OneOf(kKeptElements, name) || OneOf(kMoreKeptElements, name))) {
            out += CleanTag(name, body.substr(nameEnd, end - 1 - nameEnd), closing);
        }
    }
    return out;
}

const std::string& NotePaperJpeg() {
    static const std::string jpeg = [] {
        constexpr int kSide = 64;
        TRgbImage paper{kSide, kSide, std::vector<std::uint8_t>(kSide * kSide * 3)};
        std::uint32_t seed = 0x2545F491;
        for (std::size_t i = 0; i < paper.Pixels.size(); i += 3) {
            seed = seed * 1664525u + 1013904223u; // a fixed grain, the same on every run
            const int grain = static_cast<int>((seed >> 24) % 7);
            paper.Pixels[i] = static_cast<std::uint8_t>(248 - grain);
            paper.Pixels[i + 1] = static_cast<std::uint8_t>(244 - grain);
            paper.Pixels[i + 2] = static_cast<std::uint8_t>(230 - grain);
        }
        return EncodeJpeg(paper, 80);
    }();
    return jpeg;
}

std::string NoteAttachmentHtml(const TNoteAttachment& attachment, const TNoteAttachmentView& view) {
    if (attachment.Kind == TNoteAttachmentKind::Table) {
        std::string table = "<table class=\"nt\">";
        for (const auto& row : attachment.Cells) {
            table += "<tr>";
            for (const std::string& cell : row) {
                table += "<td>" + HtmlEscape(cell) + "</td>";
            }
            table += "</tr>";
        }
        return table + "</table>";
    }
    const std::string name =
        HtmlEscape(attachment.Name.empty() ? NoteAttachmentKindName(attachment.Kind) : attachment.Name);
    if (attachment.Kind == TNoteAttachmentKind::UrlCard) {
        const std::string scheme = SchemeOf(attachment.Url);
        return scheme == "http" || scheme == "https"
                   ? "<div class=\"card\"><a href=\"" + HtmlEscape(attachment.Url) + "\">" + name +
                         "</a></div>"
                   : "<div class=\"card\">" + name + "</div>";
    }
    if (!view.Src.empty()) {
        return "<img src=\"" + HtmlEscape(view.Src) + "\" alt=\"" + name + "\">";
    }
    if (!view.Href.empty()) {
        return "<a class=\"att\" href=\"" + HtmlEscape(view.Href) + "\">" + name + "</a>";
    }
    return "<span class=\"att\">[" + name + (view.InBackup ? "]" : "] (not in the backup)") + "</span>";
}

std::string BuildNotePage(const TNoteItem& note, const TNoteAttachmentSource& source) {
    static const std::string paper = Base64Encode(NotePaperJpeg());
    const std::string body = SafeNoteHtml(note.Body);
    std::string shown;
    std::size_t at = 0;
    for (std::size_t i = 0; i < note.Attachments.size(); ++i) {
        const std::size_t mark = body.find(kObjectMark, at);
        if (mark == std::string::npos) {
            break;
        }
        const TNoteAttachment& attachment = note.Attachments[i];
        const TNoteAttachmentView view = source ? source(attachment, i) : TNoteAttachmentView{{}, {}, true};
        shown.append(body, at, mark - at).append(NoteAttachmentHtml(attachment, view));
        at = mark + kObjectMark.size();
    }
    shown.append(body, at);
    // The date is #666 on the paper (contrast above 4.5:1); the text is the system's sans-serif.
    return "<html><head><meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" "
           "content=\"IE=edge\"/><style "
           "type=\"text/css\">body{font:9pt system-ui, "
           "sans-serif;margin:11px;border-style:none;text-shadow:1px 1px "
           "#fff;background:url(data:image/jpeg;base64," +
           paper +
           ")}.t{color:#666666; "
           "text-align:center;clear:both;margin:11px}ul.checklist,ul.dashed{list-style:none;"
           "padding-left:1.4em}table.nt{border-collapse:collapse;margin:4px 0}table.nt "
           "td{border:1px solid #b0aca0;padding:2px "
           "6px}img{max-width:100%}.att{color:#555555}</style></head><body><div "
           "class=\"t\">" +
           HtmlEscape(DateTimeText(note.ModifiedDate)) + "</div>" + shown + "</body></html>";
}

} // namespace kestrow
