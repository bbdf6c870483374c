#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrow {

// Multi-value properties.
enum TAbProperty : std::int32_t {
    abpPhone = 3,
    abpEmail = 4,
    abpAddress = 5,
    abpDate = 12,
    abpInstantMessage = 13,
    abpUrl = 22,
};

// The label and entry-key names of one address book (labels stored as "_$!<Home>!$_" read "Home").
struct TAbNames {
    std::vector<std::string> Labels;
    std::vector<std::string> EntryKeys;

    // The name at a 1-based position, or nothing.
    const std::string* Label(std::int32_t position) const;
    const std::string* EntryKey(std::int32_t position) const;
};

// One part of an address.
struct TAbMultiEntry {
    std::int32_t ParentId = 0;
    std::int32_t Key = 0; // 1-based position in the entry-key names
    std::string Value;
};

// One phone number, e-mail address, address, web address, date or handle of a contact.
struct TAbMultiValue {
    std::int32_t UID = 0;
    std::int32_t Property = 0;
    std::int32_t Identifier = 0; // 0 marks the primary value
    std::int32_t Label = 0;      // 1-based position in the label names; 0 when none
    std::string Value;           // not read for addresses
    std::vector<TAbMultiEntry> Entries;

    // The label's name, else the property's name ("Phone", "Email", "Address", "Date", "AIM",
    // "URL", "Other").
    std::string LabelText(const TAbNames& names) const;
    // Addresses: every entry followed by ", "; dates: the short date; otherwise the value.
    std::string ValueText() const;
};

// One contact.
struct TAbPerson {
    std::int64_t RowId = 0;
    std::string First;
    std::string Last;
    std::string Middle;
    std::string Nickname;
    std::string Name; // display name
    std::vector<TAbMultiValue> MultiValues;
    std::int32_t Kind = 0;
    double Birthday = 0; // day count; 0 when none
    double Created = 0;  // when the contact was made, local day count; 0 when not stored
    std::string Department;
    std::string JobTitle;
    std::string Organization;
    std::string Note;
    std::string Prefix;
    std::string Suffix;
    // The stored thumbnail picture as the database holds it (at least 4 bytes), decoded only when
    // the contact is shown or written: a name lookup never pays for pictures.
    std::optional<std::string> ThumbnailData;

    int MultiValueCount() const { return static_cast<int>(MultiValues.size()); }
    const TAbMultiValue* GetMultiValue(int index) const;
    // The display name with "Prefix, " before and ", Suffix" after when present.
    std::string FullName() const;
    // Job title, then " " + department and " " + organization when present.
    std::string JobLine() const;
    // The thumbnail: the stored picture on 96 x 96, as JPEG, made now (ThumbnailJpeg).
    std::optional<std::string> Thumbnail() const;
};

// The address book (AddressBook.sqlitedb) with the pictures of AddressBookImages.sqlitedb, read
// whole in the constructor, contacts in table order. Database errors raise ESQLiteException out
// of the constructor and GetPhotoStream. No statement touches the full-text search table of newer
// address books, whose tokenizer SQLite does not have.
class TAddressBook {
public:
    // `utcOffset`: the device's offset from UTC in seconds, for the creation times.
    TAddressBook(const std::string& fileName, const std::string& imagesFileName, bool lastNameFirst,
                 int utcOffset = 0);

    int Count() const { return static_cast<int>(FRowIds.size()); }
    const TAbPerson& GetPerson(int index) const;
    const TAbNames& Names() const { return FNames; }
    // The display name of the contact with that number, or the number itself.
    std::string FindNameByPhone(const std::string& phone) const;
    // The display name of the contact with that ROWID, or empty.
    std::string FindNameByRowId(std::int64_t rowId) const;
    // The stored full picture of a contact, or nothing.
    std::optional<std::string> GetPhotoStream(int index) const;
    // The contact as vCard 2.1 text and as a CSV row (contact_formats.h).
    std::string ToVCard(int index) const;
    std::string ToCsvRow(int index) const;
    bool HasThumbnailTable() const { return FHasThumbnailTable; }

private:
    void ReadPersons(class TSQLiteDatabase& db);
    void ReadMultiValues(class TSQLiteDatabase& db);
    void ReadNames(class TSQLiteDatabase& db);
    void ReadThumbnails();

    bool FLastNameFirst = true;
    int FUtcOffset = 0;
    std::string FImagesFileName;
    bool FHasThumbnailTable = false;
    std::unordered_map<std::string, std::int64_t> FPhoneIndex;
    std::unordered_map<std::int64_t, TAbPerson> FPersons;
    std::vector<std::int64_t> FRowIds;
    TAbNames FNames;
};

// The key a phone number is compared by: separators removed, and for an international number
// ("+...") its country code, by the length of code the first digits call for.
std::string PhoneKey(const std::string& phone);
// A contact's display name by the name order.
std::string DisplayNameOf(const TAbPerson& person, bool lastNameFirst);

} // namespace kestrow
