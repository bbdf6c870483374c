#include "readers/notes.h"

#include <algorithm>
#include <unordered_map>

#include "platform/date_time.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"
#include "readers/note_body.h"
#include "readers/protobuf_reader.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

// Notes keep every stored time, 0 included: (seconds + offset) / 86400 + 2001-01-01.
double NoteDate(double seconds, int utcOffset) {
    return DayCountOrNone((seconds + utcOffset) / 86400.0 + kDeviceEpochDays);
}

std::size_t FindNoCase(const std::string& text, std::string_view what, std::size_t from = 0) {
    const std::string lower = AsciiLower(text);
    return lower.find(what, from);
}

std::string ReplaceAllNoCase(const std::string& text, std::string_view what, std::string_view with) {
    const std::string lower = AsciiLower(text);
    std::string out;
    std::size_t at = 0;
    for (std::size_t found = lower.find(what); found != std::string::npos; found = lower.find(what, at)) {
        out.append(text, at, found - at);
        out += with;
        at = found + what.size();
    }
    out.append(text, at);
    return out;
}

std::string ReplaceFirstNoCase(const std::string& text, std::string_view what, std::string_view with) {
    const std::size_t found = FindNoCase(text, what);
    return found == std::string::npos
               ? text
               : text.substr(0, found) + std::string(with) + text.substr(found + what.size());
}

// The number after "&#", as far as it reads: leading spaces and a sign, "$", "x", "X", "0x" or
// "0X" for hexadecimal; reading stops at the first character that does not fit.
std::uint32_t EntityNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at++] == '-';
    }
    int base = 10;
    if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
        base = 16;
        ++at;
    } else if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    std::uint32_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            break;
        }
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    return negative ? 0u - value : value;
}

// A character from the low 16 bits of a code; what UTF-8 cannot hold becomes U+FFFD.
void AppendCode(std::string& out, std::uint32_t value) {
    const std::uint32_t code = value & 0xFFFF;
    AppendUtf8(out, code == 0 || (code >= 0xD800 && code <= 0xDFFF) ? 0xFFFD : code);
}

} // namespace

std::string NoteStoreText(std::string_view data) {
    const auto inflated = Inflate(data, std::size_t{64} << 20);
    const auto document = inflated ? ReadNoteDocument(*inflated) : std::nullopt;
    return document ? document->Text : std::string();
}

const char* NoteAttachmentKindName(TNoteAttachmentKind kind) {
    static constexpr const char* kNames[] = {"picture", "drawing", "scan", "url", "table", "file"};
    return kNames[static_cast<int>(kind)];
}

std::string NoteItemText(const TNoteItem& note) {
    if (!note.HasText) {
        return NoteTextOf(note.Body);
    }
    std::string text;
    std::size_t at = 0;
    for (const TNoteAttachment& attachment : note.Attachments) {
        const std::size_t mark = note.Text.find(kObjectMark, at);
        if (mark == std::string::npos) {
            break;
        }
        text.append(note.Text, at, mark - at)
            .append("[" +
                    (attachment.Name.empty() ? NoteAttachmentKindName(attachment.Kind) : attachment.Name) +
                    "]");
        at = mark + kObjectMark.size();
    }
    return text.append(note.Text, at);
}

std::string HtmlUnescape(std::string_view text) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"nbsp;", ' '}, {"quot;", '"'}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '&') {
            out += text[at];
            continue;
        }
        const std::string_view rest = text.substr(at + 1);
        bool named = false;
        for (const auto& [entity, c] : kNamed) {
            if (rest.substr(0, entity.size()) == entity) {
                out += c;
                at += entity.size();
                named = true;
                break;
            }
        }
        if (named) {
            continue;
        }
        if (!rest.empty() && rest[0] == '#') {
            const std::size_t semicolon = rest.find(';');
            AppendCode(out, EntityNumber(rest.substr(
                                1, semicolon == std::string_view::npos ? rest.npos : semicolon - 1)));
            if (semicolon == std::string_view::npos) {
                break; // the number ran to the end of the text
            }
            at += semicolon + 1;
            continue;
        }
        out += '&'; // no entity known here: the text stays as it stood (&euro; too)
    }
    return out;
}

std::string NoteTextOf(std::string_view body) {
    std::string text = ReplaceAllNoCase(std::string(body), "</div><div>", "\r\n");
    text = ReplaceFirstNoCase(text, "<div>", "\r\n");
    text = ReplaceFirstNoCase(text, "</div>", "");
    text = ReplaceAllNoCase(text, "<br>", "\r\n");
    return HtmlUnescape(text);
}

std::string TNotes::NoteText(int index) const {
    return NoteItemText(Notes(index));
}

void TNotes::ReadNotesSqlite(TSQLiteDatabase& db) {
    // note -> body; of two body rows for one note the first is kept.
    std::unordered_map<std::int64_t, std::string> bodies;
    {
        const auto table = db.GetTable("SELECT * FROM znotebody");
        const int key =
            table->FieldExists("ZOWNER") ? table->FieldIndex("ZOWNER") : table->FieldIndex("Z_PK");
        const int content = table->FieldIndex("ZCONTENT");
        for (; !table->Eof(); table->Next()) {
            bodies.try_emplace(table->FieldAsInteger(key), table->FieldAsString(content));
        }
    }
    const auto table = db.GetTable("SELECT * FROM znote");
    const int pk = table->FieldIndex("Z_PK");
    const int title = table->FieldIndex("ZTITLE");
    const int modified = table->FieldIndex("ZMODIFICATIONDATE");
    for (; !table->Eof(); table->Next()) {
        TNoteItem note;
        note.Title = table->FieldAsString(title);
        if (const auto body = bodies.find(table->FieldAsInteger(pk)); body != bodies.end()) {
            note.Body = body->second;
        }
        note.ModifiedDate = NoteDate(table->FieldAsDouble(modified), FUtcOffset);
        FNotes.push_back(std::move(note));
    }
}

void TNotes::ReadNotesDb(TSQLiteDatabase& db) {
    std::unordered_map<std::int64_t, std::string> bodies;
    {
        const auto table = db.GetTable("SELECT * FROM note_bodies");
        const int noteId = table->FieldIndex("note_id");
        const int data = table->FieldIndex("data");
        for (; !table->Eof(); table->Next()) {
            bodies.try_emplace(table->FieldAsInteger(noteId), table->FieldAsString(data));
        }
    }
    const auto table = db.GetTable("SELECT * FROM note");
    const int rowId = table->FieldIndex("ROWID");
    const int title = table->FieldIndex("title");
    const int modified = table->FieldIndex("modification_date");
    for (; !table->Eof(); table->Next()) {
        TNoteItem note;
        note.Title = table->FieldAsString(title);
        if (const auto body = bodies.find(table->FieldAsInteger(rowId)); body != bodies.end()) {
            note.Body = body->second;
        }
        note.ModifiedDate = NoteDate(table->FieldAsDouble(modified), FUtcOffset);
        FNotes.push_back(std::move(note));
    }
}

} // namespace kestrow
