#include "support/current_stores_writer.h"

#include <stdexcept>
#include <zlib.h>

#include <fmt/format.h>

#include "support/sqlite_writer.h"

namespace kestrow::test {

namespace {

void PutVarint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

std::string LengthDelimited(std::uint32_t field, const std::string& bytes) {
    std::string out;
    PutVarint(out, (field << 3) | 2);
    PutVarint(out, bytes.size());
    return out + bytes;
}

std::string VarintField(std::uint32_t field, std::uint64_t value) {
    std::string out;
    PutVarint(out, field << 3);
    PutVarint(out, value);
    return out;
}

std::string Gzip(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
        throw std::runtime_error("gzip");
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

std::string AttributedBody(const std::string& text, bool mutableString) {
    std::string out("\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84", 22);
    out += mutableString
               ? std::string("\x19NSMutableAttributedString\x00\x84\x84\x12NSAttributedString\x00", 49)
               : std::string("\x12NSAttributedString\x00", 20);
    out += std::string("\x84\x84\x08NSObject\x00\x85\x92\x84\x84\x84", 17);
    out += mutableString ? std::string("\x0fNSMutableString\x01\x84\x84\x08NSString\x01\x95\x84\x01+", 33)
                         : std::string("\x08NSString\x01\x94\x84\x01+", 14);
    if (text.size() < 0x81) {
        out += static_cast<char>(text.size());
    } else if (text.size() <= 0xFFFF) {
        out += '\x81';
        out += static_cast<char>(text.size() & 0xFF);
        out += static_cast<char>(text.size() >> 8);
    } else {
        out += '\x82';
        for (int i = 0; i < 4; ++i) {
            out += static_cast<char>((text.size() >> (8 * i)) & 0xFF);
        }
    }
    out += text;
    out += std::string("\x86\x84\x02iI\x01", 6);
    out += static_cast<char>(text.size() & 0x7F);
    out +=
        std::string("\x92\x84\x84\x84\x0cNSDictionary\x00\x94\x84\x01i\x01\x92\x84\x96\x96\x1d"
                    "__kIMMessagePartAttributeName\x86\x92\x84\x84\x84\x08NSNumber\x00\x84\x84\x07NSValue\x00"
                    "\x94\x84\x01*\x84\x99\x99\x00\x86\x86\x86",
                    94);
    return out;
}

std::string NoteProtobuf(const std::string& text) {
    // NoteStoreProto { 2: Document { 2: version, 3: Note { 2: note_text, 5: attribute runs } } }
    const std::string note = LengthDelimited(2, text) + LengthDelimited(5, VarintField(1, text.size()));
    const std::string document = VarintField(2, 0) + LengthDelimited(3, note);
    return VarintField(1, 0) + LengthDelimited(2, document);
}

std::string NoteData(const std::string& text) {
    return Gzip(NoteProtobuf(text));
}

std::string NoteStoreSql(const std::vector<TCurrentNote>& notes) {
    return "CREATE TABLE ZICCLOUDSYNCINGOBJECT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
           "ZCRYPTOITERATIONCOUNT INTEGER, ZISPASSWORDPROTECTED INTEGER, ZMARKEDFORDELETION INTEGER, "
           "ZNOTEDATA "
           "INTEGER, ZFOLDER INTEGER, ZACCOUNT INTEGER, ZCREATIONDATE1 TIMESTAMP, ZMODIFICATIONDATE1 "
           "TIMESTAMP, "
           "ZSNIPPET VARCHAR, ZTITLE VARCHAR, ZTITLE1 VARCHAR, ZTITLE2 VARCHAR, ZIDENTIFIER VARCHAR, "
           "ZCRYPTOTAG BLOB, "
           "ZCRYPTOWRAPPEDKEY BLOB );"
           "CREATE TABLE ZICNOTEDATA ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZNOTE "
           "INTEGER, ZDATA "
           "BLOB, ZCRYPTOTAG BLOB, ZCRYPTOINITIALIZATIONVECTOR BLOB );"
           // An account and a folder come first, as on devices: objects without note data.
           "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZTITLE) VALUES (1, 14, 3, 'iCloud');"
           "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZTITLE2, ZACCOUNT) VALUES (2, 15, 5, "
           "'Notes', 1);" +
           NoteStoreRowsSql(notes, 0);
}

std::string NoteStoreRowsSql(const std::vector<TCurrentNote>& notes, std::int64_t notesBefore) {
    std::string sql;
    std::int64_t data = notesBefore;
    for (const TCurrentNote& n : notes) {
        ++data;
        const std::int64_t pk = data + 2;
        const std::string bytes =
            n.RawData.value_or(n.Locked ? std::string("encrypted bytes") : NoteData(n.Text));
        sql += fmt::format(
            "INSERT INTO ZICNOTEDATA (Z_PK, Z_ENT, Z_OPT, ZNOTE, ZDATA) VALUES ({}, 10, 1, {}, {});", data,
            pk, SqlBlob(bytes));
        sql += fmt::format(
            "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZISPASSWORDPROTECTED, ZNOTEDATA, "
            "ZFOLDER, ZMODIFICATIONDATE1, ZTITLE1, ZSNIPPET) VALUES ({}, 11, 4, {}, {}, 2, {:.3f}, {}, "
            "'');",
            pk, n.Locked ? 1 : 0, data, n.Modified, SqlText(n.Title));
    }
    return sql;
}

std::string HistoryDbSql(const std::vector<THistoryDbItem>& items, const std::vector<THistoryVisit>& visits) {
    std::string sql =
        "CREATE TABLE history_items (id INTEGER PRIMARY KEY AUTOINCREMENT, url TEXT NOT NULL UNIQUE, "
        "domain_expansion TEXT NULL, visit_count INTEGER NOT NULL, daily_visit_counts BLOB NOT NULL, "
        "weekly_visit_counts BLOB NULL, autocomplete_triggers BLOB NULL, "
        "should_recompute_derived_visit_counts "
        "INTEGER NOT NULL, visit_count_score INTEGER NOT NULL);"
        "CREATE TABLE history_visits (id INTEGER PRIMARY KEY AUTOINCREMENT, history_item INTEGER NOT NULL "
        "REFERENCES "
        "history_items(id) ON DELETE CASCADE, visit_time REAL NOT NULL, title TEXT NULL, load_successful "
        "BOOLEAN NOT "
        "NULL DEFAULT 1, http_non_get BOOLEAN NOT NULL DEFAULT 0, synthesized BOOLEAN NOT NULL DEFAULT 0, "
        "redirect_source INTEGER NULL UNIQUE, redirect_destination INTEGER NULL UNIQUE, origin INTEGER NOT "
        "NULL "
        "DEFAULT 0, generation INTEGER NOT NULL DEFAULT 0, attributes INTEGER NOT NULL DEFAULT 0, score "
        "INTEGER NOT "
        "NULL DEFAULT 0);";
    for (const THistoryDbItem& i : items) {
        sql += fmt::format(
            "INSERT INTO history_items (id, url, visit_count, daily_visit_counts, "
            "should_recompute_derived_visit_counts, visit_count_score) VALUES ({}, {}, 1, x'', 0, 100);",
            i.Id, SqlText(i.Url));
    }
    for (const THistoryVisit& v : visits) {
        sql += fmt::format(
            "INSERT INTO history_visits (history_item, visit_time, title) VALUES ({}, {:.3f}, {});", v.Item,
            v.Time, v.Title.empty() ? "NULL" : SqlText(v.Title));
    }
    return sql;
}

} // namespace kestrow::test
