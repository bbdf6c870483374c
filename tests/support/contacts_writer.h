#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrow::test {

// AddressBook.sqlitedb and AddressBookImages.sqlitedb as devices create them: the older generation
// (iOS 4 to 6; pictures in ABImage) and the current one (iOS 7 on; a full-text search table whose
// tokenizer SQLite does not have, pictures in ABThumbnailImage and ABFullSizeImage).
struct TContactsDb {
    struct TPerson {
        std::int64_t RowId;
        std::string First;
        std::string Last;
        std::string Middle;
        std::string Organization;
        std::optional<double> Birthday; // seconds since 2001
        std::string Note;
        std::string JobTitle;
        std::string Department;
        std::string Nickname;
        std::string Prefix;
        std::string Suffix;
        std::optional<double> Created; // seconds since 2001
    };
    struct TValue {
        std::int64_t Uid;
        std::int64_t RecordId;
        std::int64_t Property;
        std::int64_t Identifier;
        std::optional<std::int64_t> Label;
        std::optional<std::string> Value;
    };
    struct TEntry {
        std::int64_t ParentId;
        std::int64_t Key;
        std::string Value;
    };
    struct TPicture {
        std::int64_t RecordId;
        std::int64_t Format;
        std::string Data;
    };
    bool Current = true;
    std::vector<TPerson> Persons;
    std::vector<TValue> Values;
    std::vector<TEntry> Entries;
    std::vector<std::string> Labels = {"_$!<Mobile>!$_",  "_$!<Home>!$_",     "_$!<Main>!$_",
                                       "_$!<Work>!$_",    "_$!<HomePage>!$_", "iPhone",
                                       "_$!<HomeFAX>!$_", "_$!<Other>!$_"};
    std::vector<std::string> EntryKeys = {"Street", "ZIP", "City", "CountryCode", "State", "Country"};
    std::vector<TPicture> Thumbnails; // ABThumbnailImage (current) or ABImage (older)
    std::vector<TPicture> FullSize;   // ABFullSizeImage (current) or ABImage format 0 (older)
};

std::string ContactsSql(const TContactsDb& db);
std::string ContactImagesSql(const TContactsDb& db);

// A JPEG of one colour made with TurboJPEG directly.
std::string TestJpeg(int width, int height, unsigned char red, unsigned char green, unsigned char blue);

} // namespace kestrow::test
