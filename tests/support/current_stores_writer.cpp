#include "support/current_stores_writer.h"

#include <functional>
#include <stdexcept>
#include <zlib.h>

#include <fmt/format.h>
#include <openssl/evp.h>

#include "support/crypto_writer.h"
#include "support/hex.h"
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

} // namespace

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

TNoteLockValues LockNoteData(const std::string& password, const std::string& gzipped, int iterations,
                             std::uint32_t seed) {
    TTestRandom random(seed);
    TNoteLockValues lock;
    lock.Salt = StringOf(random.Bytes(16));
    lock.Iterations = iterations;
    TBytes kek = OpenSslPbkdf2(password, BytesOf(lock.Salt), iterations, true);
    kek.resize(16);
    const TBytes key = random.Bytes(16);
    lock.Iv = StringOf(random.Bytes(16));
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    unsigned char wrapped[24];
    int length = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_wrap(), nullptr, kek.data(), nullptr);
    EVP_EncryptUpdate(ctx, wrapped, &length, key.data(), 16);
    lock.WrappedKey.assign(reinterpret_cast<char*>(wrapped), 24);
    EVP_CIPHER_CTX_reset(ctx);
    lock.Data.assign(gzipped.size(), '\0');
    unsigned char tag[16];
    EVP_EncryptInit_ex(ctx, EVP_aes_128_gcm(), nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_IVLEN, 16, nullptr);
    EVP_EncryptInit_ex(ctx, nullptr, nullptr, key.data(),
                       reinterpret_cast<const unsigned char*>(lock.Iv.data()));
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(lock.Data.data()), &length,
                      reinterpret_cast<const unsigned char*>(gzipped.data()),
                      static_cast<int>(gzipped.size()));
    EVP_EncryptFinal_ex(ctx, wrapped, &length);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag);
    lock.Tag.assign(reinterpret_cast<char*>(tag), 16);
    EVP_CIPHER_CTX_free(ctx);
    return lock;
}

TNoteLockValues PublishedLockedNote() {
    return {StringOf(FromHex("1165106b6b288bda1e6ecb18e65c7876")),
            20000,
            StringOf(FromHex("98c0e56b43b507e60c5465ec5e1bb0c74b756f7d4f4a9bff")),
            StringOf(FromHex("151f64de7be34d15dacdaea9b33471f9")),
            StringOf(FromHex("806bf2bbd3bf83cf1240b03e7c4d6ab1")),
            StringOf(FromHex(
                "131b03571fc9ec47ef58e58e21fce5c10aa73a62b9e58a743bcdcc3aff1ea8ab9964f4535b8597735f3da5f6"
                "ae63b9370625a20d633e9cf2986d4d118989124f0ddfee956e47cb5cbc3617c520b075620b37ae4056f3a1af"
                "83351fda634dfb446055c75f7143a5600149db333893c0ecb0ef3944e2a64542e9a4375bf152689858fed8b2"
                "1aded0eab0afb11190"))};
}

std::string NoteProtobufRuns(const std::string& text, const std::vector<TRunSpec>& runs) {
    std::string note = LengthDelimited(2, text);
    for (const TRunSpec& r : runs) {
        std::string run = VarintField(1, r.Length);
        if (r.Style >= 0 || r.Done >= 0) {
            std::string paragraph = r.Style >= 0 ? VarintField(1, static_cast<std::uint64_t>(r.Style)) : "";
            paragraph += r.Indent > 0 ? VarintField(4, static_cast<std::uint64_t>(r.Indent)) : "";
            if (r.Done >= 0) {
                paragraph += LengthDelimited(5, LengthDelimited(1, "uuid-of-item") +
                                                    VarintField(2, static_cast<std::uint64_t>(r.Done)));
            }
            run += LengthDelimited(2, paragraph);
        }
        run += r.Weight != 0 ? VarintField(5, static_cast<std::uint64_t>(r.Weight)) : "";
        run += r.Underline ? VarintField(6, 1) : "";
        run += r.Strike ? VarintField(7, 1) : "";
        run += r.Link.empty() ? "" : LengthDelimited(9, r.Link);
        if (!r.AttachmentId.empty()) {
            run +=
                LengthDelimited(12, LengthDelimited(1, r.AttachmentId) + LengthDelimited(2, r.AttachmentUti));
        }
        note += LengthDelimited(5, run);
    }
    const std::string document = VarintField(2, 0) + LengthDelimited(3, note);
    return VarintField(1, 0) + LengthDelimited(2, document);
}

namespace {

std::string ObjectId(std::uint64_t number, int index) {
    return index >= 0 ? VarintField(6, static_cast<std::uint64_t>(index)) : VarintField(2, number);
}

std::string MapOf(int type, const std::vector<std::pair<int, std::string>>& entries) {
    std::string map = VarintField(1, static_cast<std::uint64_t>(type));
    for (const auto& [key, value] : entries) {
        map +=
            LengthDelimited(3, VarintField(1, static_cast<std::uint64_t>(key)) + LengthDelimited(2, value));
    }
    return LengthDelimited(13, map);
}

std::string DictionaryOf(const std::vector<std::pair<int, int>>& elements) {
    std::string dictionary;
    for (const auto& [key, value] : elements) {
        dictionary +=
            LengthDelimited(1, LengthDelimited(1, ObjectId(0, key)) + LengthDelimited(2, ObjectId(0, value)));
    }
    return dictionary;
}

} // namespace

std::string TableMergeProtobuf(const std::vector<std::vector<std::string>>& rows) {
    const std::size_t height = rows.size();
    const std::size_t width = rows.empty() ? 0 : rows[0].size();
    // uuids: rows in reverse, then columns; entries: 0 table, 1 rows, 2 columns, 3 cell columns,
    // then one per uuid, one dictionary per column, one note per cell.
    std::vector<std::string> uuids;
    for (std::size_t r = height; r-- > 0;) {
        uuids.push_back("row-uuid-" + std::to_string(r));
    }
    for (std::size_t c = 0; c < width; ++c) {
        uuids.push_back("col-uuid-" + std::to_string(c));
    }
    const auto rowUuid = [&](std::size_t r) { return static_cast<int>(height - 1 - r); };
    const auto columnUuid = [&](std::size_t c) { return static_cast<int>(height + c); };
    const int uuidEntries = 4;
    const int columnEntries = uuidEntries + static_cast<int>(uuids.size());
    const int cellEntries = columnEntries + static_cast<int>(width);
    std::vector<std::string> entries(4);
    entries[0] = MapOf(0, {{0, ObjectId(0, 1)}, {1, ObjectId(0, 2)}, {2, ObjectId(0, 3)}});
    const auto orderedSet = [&](std::size_t count, const std::function<int(std::size_t)>& uuidOf) {
        std::string array = LengthDelimited(1, LengthDelimited(2, "")); // the array's own text
        std::vector<std::pair<int, int>> contents;
        for (std::size_t i = 0; i < count; ++i) {
            array += LengthDelimited(2, VarintField(1, i) +
                                            LengthDelimited(2, uuids[static_cast<std::size_t>(uuidOf(i))]));
            contents.emplace_back(uuidEntries + uuidOf(i), uuidEntries + uuidOf(i));
        }
        return LengthDelimited(
            16, LengthDelimited(1, LengthDelimited(1, array) + LengthDelimited(2, DictionaryOf(contents))));
    };
    entries[1] = orderedSet(height, rowUuid);
    entries[2] = orderedSet(width, columnUuid);
    std::vector<std::pair<int, int>> columns;
    for (std::size_t c = 0; c < width; ++c) {
        columns.emplace_back(uuidEntries + columnUuid(c), columnEntries + static_cast<int>(c));
    }
    entries[3] = LengthDelimited(6, DictionaryOf(columns));
    for (std::size_t u = 0; u < uuids.size(); ++u) {
        entries.push_back(MapOf(1, {{3, ObjectId(u, -1)}}));
    }
    for (std::size_t c = 0; c < width; ++c) {
        std::vector<std::pair<int, int>> cells;
        for (std::size_t r = 0; r < height; ++r) {
            cells.emplace_back(uuidEntries + rowUuid(r), cellEntries + static_cast<int>(r * width + c));
        }
        entries.push_back(LengthDelimited(6, DictionaryOf(cells)));
    }
    for (const auto& row : rows) {
        for (const std::string& cell : row) {
            entries.push_back(LengthDelimited(10, LengthDelimited(2, cell)));
        }
    }
    std::string data;
    for (const std::string& entry : entries) {
        data += LengthDelimited(3, entry);
    }
    for (const char* key : {"crRows", "crColumns", "cellColumns", "UUIDIndex"}) {
        data += LengthDelimited(4, key);
    }
    data += LengthDelimited(5, "com.apple.notes.ICTable") + LengthDelimited(5, "com.apple.CRDT.NSUUID");
    for (const std::string& uuid : uuids) {
        data += LengthDelimited(6, uuid);
    }
    return LengthDelimited(2, VarintField(2, 0) + LengthDelimited(3, data));
}

std::string TableMergeData(const std::vector<std::vector<std::string>>& rows) {
    return Gzip(TableMergeProtobuf(rows));
}

namespace {

constexpr int kNoteRowsBefore = 3; // the account and two folders

std::string NoteRowSql(const TCurrentNote& n, std::int64_t data, const TNoteStoreVersion& version) {
    const std::int64_t pk = data + kNoteRowsBefore;
    const bool passcode = n.Locked && !n.Lock;
    const std::string bytes =
        n.RawData.value_or(n.Lock     ? n.Lock->Data
                           : passcode ? std::string("encrypted bytes")
                                      : Gzip(n.Protobuf.value_or(NoteProtobuf(n.Text))));
    const auto blob = [&](const std::string& value, bool here) {
        return n.Lock && here ? SqlBlob(value) : std::string("NULL");
    };
    std::string sql = fmt::format(
        "INSERT INTO ZICNOTEDATA (Z_PK, Z_ENT, Z_OPT, ZNOTE, ZDATA, ZCRYPTOINITIALIZATIONVECTOR, ZCRYPTOTAG) "
        "VALUES ({}, 10, 1, {}, {}, {}, {});",
        data, pk, SqlBlob(bytes), blob(n.Lock ? n.Lock->Iv : "", n.CryptoOnData),
        blob(n.Lock ? n.Lock->Tag : "", n.CryptoOnData));
    sql += fmt::format(
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZISPASSWORDPROTECTED, ZNOTEDATA, ZFOLDER, "
        "{}, {}, "
        "ZMODIFICATIONDATE1, ZTITLE1, ZSNIPPET, ZISPINNED, ZCRYPTOSALT, ZCRYPTOITERATIONCOUNT, "
        "ZCRYPTOWRAPPEDKEY, "
        "ZCRYPTOINITIALIZATIONVECTOR, ZCRYPTOTAG) VALUES ({}, 11, 4, {}, {}, {}, 1, {}, {:.3f}, {}, '', {}, "
        "{}, {}, "
        "{}, {}, {});",
        version.AccountColumn, version.CreatedColumn, pk, n.Locked || n.Lock ? 1 : 0, data, n.InTrash ? 3 : 2,
        n.Created != 0 ? fmt::format("{:.3f}", n.Created) : "NULL", n.Modified, SqlText(n.Title),
        n.Pinned ? 1 : 0, blob(n.Lock ? n.Lock->Salt : "", true),
        n.Lock ? std::to_string(n.Lock->Iterations) : "NULL", blob(n.Lock ? n.Lock->WrappedKey : "", true),
        blob(n.Lock ? n.Lock->Iv : "", !n.CryptoOnData), blob(n.Lock ? n.Lock->Tag : "", !n.CryptoOnData));
    return sql;
}

} // namespace

std::string NoteStoreSql(const std::vector<TCurrentNote>& notes,
                         const std::vector<TNoteAttachmentRow>& attachments,
                         const TNoteStoreVersion& version) {
    std::string sql =
        "CREATE TABLE ZICCLOUDSYNCINGOBJECT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
        "ZCRYPTOITERATIONCOUNT INTEGER, ZISPASSWORDPROTECTED INTEGER, ZISPINNED INTEGER, ZMARKEDFORDELETION "
        "INTEGER, ZFOLDERTYPE INTEGER, ZNOTEDATA INTEGER, ZFOLDER INTEGER, ZACCOUNT INTEGER, ZACCOUNT2 "
        "INTEGER, "
        "ZACCOUNT3 INTEGER, ZACCOUNT4 INTEGER, ZACCOUNT7 INTEGER, ZACCOUNT8 INTEGER, ZMEDIA INTEGER, "
        "ZPARENTATTACHMENT INTEGER, ZCREATIONDATE TIMESTAMP, ZCREATIONDATE1 TIMESTAMP, ZCREATIONDATE3 "
        "TIMESTAMP, "
        "ZMODIFICATIONDATE1 TIMESTAMP, ZSNIPPET VARCHAR, ZTITLE VARCHAR, ZTITLE1 VARCHAR, ZTITLE2 VARCHAR, "
        "ZNAME VARCHAR, ZIDENTIFIER VARCHAR, ZTYPEUTI VARCHAR, ZFILENAME VARCHAR, ZURLSTRING VARCHAR, "
        "ZALTTEXT "
        "VARCHAR, ZMERGEABLEDATA1 BLOB, ZCRYPTOSALT BLOB, ZCRYPTOWRAPPEDKEY BLOB, "
        "ZCRYPTOINITIALIZATIONVECTOR "
        "BLOB, ZCRYPTOTAG BLOB );"
        "CREATE TABLE ZICNOTEDATA ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZNOTE INTEGER, "
        "ZDATA "
        "BLOB, ZCRYPTOTAG BLOB, ZCRYPTOINITIALIZATIONVECTOR BLOB );"
        // An account and folders come first, as on devices: objects without note data. The folders
        // keep their account in a column of their own, with a creation date the notes do not use.
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZNAME, ZIDENTIFIER) VALUES (1, 14, 3, "
        "'iCloud', "
        "'ACC-1');"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZTITLE2, ZACCOUNT4, ZCREATIONDATE, "
        "ZFOLDERTYPE) "
        "VALUES (2, 15, 5, 'Notes', 1, 1, 0);"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZTITLE2, ZACCOUNT4, ZCREATIONDATE, "
        "ZFOLDERTYPE) "
        "VALUES (3, 15, 5, 'Recently Deleted', 1, 1, 1);";
    // Attachments after the notes' rows.
    const std::int64_t first = kNoteRowsBefore + static_cast<std::int64_t>(notes.size()) + 1000;
    for (std::size_t i = 0; i < attachments.size(); ++i) {
        const TNoteAttachmentRow& a = attachments[i];
        const std::int64_t pk = first + 2 * static_cast<std::int64_t>(i);
        if (!a.MediaId.empty()) {
            sql +=
                fmt::format("INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZIDENTIFIER, ZFILENAME) "
                            "VALUES ({}, 9, 1, {}, {});",
                            pk + 1, SqlText(a.MediaId), SqlText(a.FileName));
        }
        sql += fmt::format("INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZIDENTIFIER, ZTYPEUTI, "
                           "ZTITLE, ZMEDIA, ZURLSTRING, "
                           "ZALTTEXT, ZMERGEABLEDATA1, ZPARENTATTACHMENT) VALUES ({}, 5, 1, {}, {}, {}, {}, "
                           "{}, {}, {}, {});",
                           pk, SqlText(a.Id), SqlText(a.Uti), SqlText(a.Title),
                           a.MediaId.empty() ? "NULL" : std::to_string(pk + 1), SqlText(a.Url),
                           SqlText(a.AltText), a.MergeData.empty() ? "NULL" : SqlBlob(a.MergeData),
                           a.Parent > 0 ? std::to_string(first + 2 * (a.Parent - 1)) : "NULL");
    }
    return sql + NoteStoreRowsSql(notes, 0, version);
}

std::string NoteStoreRowsSql(const std::vector<TCurrentNote>& notes, std::int64_t notesBefore,
                             const TNoteStoreVersion& version) {
    std::string sql;
    std::int64_t data = notesBefore;
    for (const TCurrentNote& n : notes) {
        sql += NoteRowSql(n, ++data, version);
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
