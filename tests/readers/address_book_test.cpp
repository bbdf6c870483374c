#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/address_book.h"
#include "readers/contact_formats.h"
#include "readers/picture.h"
#include "readers/sqlite_database.h"
#include "support/contacts_writer.h"
#include "support/fixed_zone.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TContactsDb;

// A contact with something of everything; labels: 1 Mobile, 2 Home, 3 Main, 4 Work, 5 HomePage,
// 6 iPhone, 7 HomeFAX, 8 Other; entry keys: 1 Street, 2 ZIP, 3 City, 4 CountryCode, 5 State, 6 Country.
TContactsDb RichDb(bool current) {
    TContactsDb db;
    db.Current = current;
    db.Persons = {{1, "John", "Smith", "", "Acme Ltd", 415000000, "Met at the \"fair\"", "Engineer", "R&D",
                   "Jo", "Dr", "Jr"},
                  {2, "", "", "", "Apple Inc."},
                  {3, "Zoë", "Müller", "Q"},
                  {4, "Second", "Holder"}};
    db.Values = {
        {1, 1, 3, 0, 1, "+44 20 7946 0000"},     // mobile, primary
        {2, 1, 3, 1, 2, "020 7946 0001"},        // home
        {3, 1, 4, 0, 4, "john@acme.example"},    // work e-mail
        {4, 1, 5, 1, 2, std::nullopt},           // home address (entries below)
        {5, 1, 22, 2, 5, "http://acme.example"}, // web page
        {6, 1, 13, 3, 2, "john.smith"},          // instant messaging: an empty vCard line
        {7, 1, 5, 0, 4, std::nullopt},           // work address without entries
        {8, 1, 12, 4, 8, "-946771200"},          // a date before 2001
        {9, 4, 3, 0, 1, "+44 20-7946 0000"},     // the same key as contact 1's mobile
        {10, 99, 3, 0, 1, "+1 555 000"},         // no such contact
        {11, 3, 4, 0, std::nullopt, "zoe@example.com"},
        {12, 1, 4, 2, 2, ""}, // an empty value is left out
    };
    db.Entries = {{4, 1, "1 Main Street\nFlat 2\nBlock C\nEast Wing"},
                  {4, 3, "London"},
                  {4, 2, "SW1A 1AA"},
                  {4, 6, "United Kingdom"}};
    return db;
}

class Contacts : public ::testing::Test {
protected:
    std::string Write(const TContactsDb& db, bool withImages) {
        const std::string base = FFolder.Path() + "ab" + std::to_string(++FCount);
        test::ExecSql(base + ".sqlitedb", test::ContactsSql(db));
        if (withImages) {
            test::ExecSql(base + "-images.sqlitedb", test::ContactImagesSql(db));
        }
        FImages = withImages ? base + "-images.sqlitedb" : "";
        return base + ".sqlitedb";
    }
    TTempFolder FFolder;
    std::string FImages;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(Contacts, NamesOrderAndPhoneKeys) {
    const TContactsDb db = RichDb(true);
    TAddressBook book(Write(db, false), "", true);
    ASSERT_EQ(book.Count(), 4);
    EXPECT_EQ(book.GetPerson(0).Name, "Smith John");
    EXPECT_EQ(book.GetPerson(1).Name, ""); // an organization alone gives no display name
    EXPECT_EQ(book.GetPerson(2).Name, "Müller Q Zoë");
    EXPECT_EQ(book.GetPerson(0).FullName(), "Dr, Smith John, Jr");
    EXPECT_EQ(book.GetPerson(0).JobLine(), "Engineer R&D Acme Ltd");
    EXPECT_EQ(book.GetPerson(2).JobLine(), "");
    TAddressBook firstFirst(Write(db, false), "", false);
    EXPECT_EQ(firstFirst.GetPerson(0).Name, "John Smith");
    EXPECT_EQ(firstFirst.GetPerson(2).Name, "Zoë Q Müller");

    EXPECT_EQ(PhoneKey("+44 20 7946 0000"), "2079460000");
    EXPECT_EQ(PhoneKey("+1 (555) 123-4567"), "5551234567");
    EXPECT_EQ(PhoneKey("+358 40 123"), "40123");
    EXPECT_EQ(PhoneKey("0044 20 7946 0000"), "00442079460000");
    EXPECT_EQ(PhoneKey("+20 100 123"), "100123"); // +20: three characters
    EXPECT_EQ(PhoneKey("+216 71 123"), "71123");  // other +2: four
    EXPECT_EQ(PhoneKey("+7 495 123 45 67"), "4951234567");
    EXPECT_EQ(PhoneKey("+123"), "23"); // four characters or fewer: two go
    EXPECT_EQ(PhoneKey("{+44} 20#7946=0000"), "2079460000");
    EXPECT_EQ(PhoneKey("#31#+44 20 7946 0000"), "31+442079460000"); // the "+" no longer leads

    // The first contact to have a number keeps it; unknown numbers stay as they are.
    EXPECT_EQ(PhoneKey("+44 20-7946 0000"), PhoneKey("+44 20 7946 0000")); // contacts 4 and 1
    EXPECT_EQ(book.FindNameByPhone("+44 20 7946 0000"), "Smith John");
    EXPECT_EQ(book.FindNameByPhone("(+44) 20-7946-0000"), "Smith John"); // separators go first
    EXPECT_EQ(book.FindNameByPhone("+4420 7946 0000"), "Smith John");
    EXPECT_EQ(book.FindNameByPhone("+1 555 000"), "+1 555 000");
    EXPECT_EQ(book.FindNameByRowId(3), "Müller Q Zoë");
    EXPECT_EQ(book.FindNameByRowId(99), "");
}

TEST_F(Contacts, MultiValuesLabelsAndEntries) {
    TAddressBook book(Write(RichDb(true), false), "", true);
    const TAbPerson& john = book.GetPerson(0);
    ASSERT_EQ(john.MultiValueCount(), 8); // the empty e-mail is left out, the entry-less address kept
    EXPECT_EQ(john.GetMultiValue(0)->LabelText(book.Names()), "Mobile");
    EXPECT_EQ(john.GetMultiValue(3)->LabelText(book.Names()), "Home");
    EXPECT_EQ(john.GetMultiValue(3)->ValueText(),
              "1 Main Street\nFlat 2\nBlock C\nEast Wing, London, SW1A 1AA, "
              "United Kingdom, ");
    EXPECT_EQ(john.GetMultiValue(7)->LabelText(book.Names()), "Other");
    EXPECT_EQ(john.GetMultiValue(7)->ValueText(), "01/01/71");
    EXPECT_EQ(john.GetMultiValue(8), nullptr);
    // A value without a label reads as its property, not as the first label of the table.
    EXPECT_EQ(book.GetPerson(2).GetMultiValue(0)->LabelText(book.Names()), "Email");
    EXPECT_EQ(IsoLocalText(john.Birthday), "2014-02-25T05:46:40");
    EXPECT_EQ(book.Names().Labels[0], "Mobile");
}

TEST_F(Contacts, VCardOfAContact) {
    TAddressBook book(Write(RichDb(true), false), "", true);
    EXPECT_EQ(book.ToVCard(0),
              "BEGIN:VCARD\r\n"
              "VERSION:2.1\r\n"
              "N:Smith;John;;Dr;Jr\r\n"
              "FN:Smith John\r\n"
              "ORG:Acme Ltd;R&D\r\n"
              "TITLE:Engineer\r\n"
              "BDAY:2014-02-25\r\n"
              "TEL;CELL;VOICE;PREF:+44 20 7946 0000\r\n"
              "TEL;Home;VOICE:020 7946 0001\r\n"
              "EMAIL;Work;PREF:john@acme.example\r\n"
              "ADR;Home;CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE:;;1 Main Street=0AFlat 2=0ABlock "
              "C=0AEast Wing;London;;SW1A 1AA;United Kingdom\r\n"
              "URL:http://acme.example\r\n"
              "\r\n"
              "ADR;Work;PREF:;;;;;;\r\n"
              "\r\n"
              "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Met at the \"fair\"\r\n"
              "END:VCARD");
    EXPECT_EQ(book.ToVCard(1).substr(0, 55),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:;;;;\r\nFN:\r\nORG:Apple Inc.\r\n");
    const std::string zoe = book.ToVCard(2);
    EXPECT_NE(zoe.find("N;CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;Zo=C3=AB;Q;;\r\n"),
              std::string::npos);
    EXPECT_NE(zoe.find("FN;CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller Q Zo=C3=AB\r\n"),
              std::string::npos);
}

TEST_F(Contacts, QuotedPrintableSoftBreaks) {
    const std::string exact(75, 'n');
    EXPECT_EQ(QuotedPrintable(exact), exact + "=\r\n");
    EXPECT_EQ(QuotedPrintable(exact + "x"), exact + "=\r\nx");
    EXPECT_EQ(QuotedPrintable(std::string(74, 'a') + "é"), std::string(74, 'a') + "=C3=\r\n=A9");
    EXPECT_EQ(QuotedPrintable("a=b\r\n\x7F"), "a=3Db=0D=0A=7F");
    EXPECT_EQ(QuotedPrintableSuffix("plain text"), ":");
    EXPECT_EQ(QuotedPrintableSuffix("with=sign"), ";CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE:");
}

// A vCard read back as an importing address book reads it.
std::map<std::string, std::string> ParseVCard(const std::string& card) {
    std::map<std::string, std::string> fields;
    std::string text = card;
    for (std::size_t at = text.find("=\r\n"); at != std::string::npos; at = text.find("=\r\n", at)) {
        text.erase(at, 3); // soft breaks join
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        if (name.find("ENCODING=QUOTED-PRINTABLE") != std::string::npos) {
            std::string decoded;
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '=' && i + 2 < value.size()) {
                    decoded += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    decoded += value[i];
                }
            }
            value = decoded;
        }
        if (name.find("ENCODING=BASE64") != std::string::npos) {
            const auto blank = text.find("\r\n\r\n", start);
            std::string base64;
            for (char c : text.substr(start, blank - start)) {
                if (c != '\r' && c != '\n') {
                    base64 += c;
                }
            }
            start = blank + 4;
            std::string bytes;
            int bits = 0;
            std::uint32_t buffer = 0;
            static const std::string kAlphabet =
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            for (char c : base64) {
                if (c == '=') {
                    break;
                }
                buffer = (buffer << 6) | static_cast<std::uint32_t>(kAlphabet.find(c));
                bits += 6;
                if (bits >= 8) {
                    bits -= 8;
                    bytes += static_cast<char>((buffer >> bits) & 0xFF);
                }
            }
            value = bytes;
        }
        fields[name.substr(0, name.find(';'))] += value;
    }
    return fields;
}

TEST_F(Contacts, VCardReadsBackWithItsTextsAndPhoto) {
    TContactsDb db = RichDb(true);
    db.Persons[2].Note = std::string(200, 'z') + " — ünïcode ✓";
    db.Thumbnails = {{3, 0, test::TestJpeg(300, 200, 200, 30, 30)}};
    TAddressBook book(Write(db, true), FImages, true);
    const std::string card = book.ToVCard(2);
    for (std::size_t at = 0, line = 0; at < card.size(); at = line + 2) {
        line = card.find("\r\n", at);
        if (line == std::string::npos) {
            line = card.size();
        }
        for (std::size_t i = at; i < line; ++i) {
            EXPECT_LT(static_cast<unsigned char>(card[i]), 0x80u) << "the vCard is 7-bit";
        }
    }
    const auto fields = ParseVCard(card);
    EXPECT_EQ(fields.at("FN"), "Müller Q Zoë");
    EXPECT_EQ(fields.at("N"), "Müller;Zoë;Q;;");
    EXPECT_EQ(fields.at("NOTE"), db.Persons[2].Note);
    const auto photo = DecodeJpeg(fields.at("PHOTO"));
    ASSERT_TRUE(photo.has_value());
    EXPECT_EQ(photo->Width, 96);
    EXPECT_EQ(photo->Height, 96);
    EXPECT_NEAR(photo->Pixels[3 * (48 * 96 + 48)], 200, 6); // the picture's colour, stretched
    EXPECT_EQ(card.find("END:VCARD"), card.size() - 9);
}

TEST_F(Contacts, CsvRowOfTheFortySixColumns) {
    TContactsDb db = RichDb(true);
    db.Values.push_back({20, 1, 3, 5, 2, "020 1111"}); // a second home number
    db.Values.push_back({21, 1, 3, 6, 2, "020 2222"}); // a third: unlabelled, Other Phone
    db.Values.push_back({22, 1, 3, 7, 7, "020 3333"}); // HomeFAX
    db.Values.push_back({23, 1, 4, 8, 2, "2@x.example"});
    db.Values.push_back({24, 1, 4, 9, 2, "3@x.example"});
    db.Values.push_back({25, 1, 4, 10, 2, "4@x.example"}); // a fourth e-mail is dropped
    db.Persons[0].Nickname = "   ";
    TAddressBook book(Write(db, false), "", true);
    const std::string row = book.ToCsvRow(0);
    EXPECT_EQ(row, "\"John\",,\"Smith\",\"Jr\",\"Dr\",,\"http://acme.example\",\"02/25/14\","
                   "\"Met at the \"\"fair\"\"\",\"Acme Ltd\",\"Engineer\",\"R&D\",\"john@acme.example\","
                   "\"2@x.example\",\"3@x.example\",\"+44 20 7946 0000\",\"020 7946 0001\",\"020 1111\","
                   "\"+44 20 7946 0000\",\"020 3333\",\"1 Main Street\",\"Flat 2\",\"Block C East Wing\","
                   "\"London\",,\"SW1A 1AA\","
                   "\"United Kingdom\",,,,,,,,,,,\"020 2222\",,,,,,,,");
    // The row parsed by a CSV reader: 46 fields.
    int fields = 1;
    bool quoted = false;
    for (char c : row) {
        quoted = c == '"' ? !quoted : quoted;
        fields += (!quoted && c == ',') ? 1 : 0;
    }
    EXPECT_EQ(fields, 46);
}

TEST_F(Contacts, ThumbnailsFromEveryPictureTable) {
    for (bool current : {true, false}) {
        TContactsDb db = RichDb(current);
        db.Thumbnails = {
            {1, 2, test::TestJpeg(40, 40, 0, 0, 255)},  // a format that does not count
            {1, 0, test::TestJpeg(120, 60, 0, 200, 0)}, // the first usable row of contact 1's run
            {1, 1, test::TestJpeg(120, 60, 200, 0, 0)},
            {2, 0, std::string("\x89PNG\r\n\x1a\n not a jpeg", 20)}, // a PNG: the blank picture
            {3, 1, "abc"},                                           // under 4 bytes: none
            {99, 0, test::TestJpeg(10, 10, 1, 2, 3)},                // no such contact
        };
        db.FullSize = {{4, 0, "full size of contact 4"}};
        TAddressBook book(Write(db, true), FImages, true);
        EXPECT_EQ(book.HasThumbnailTable(), current);
        const auto green = DecodeJpeg(book.GetPerson(0).Thumbnail().value_or(""));
        ASSERT_TRUE(green.has_value());
        EXPECT_EQ(green->Width, 96);
        EXPECT_NEAR(green->Pixels[1], 200, 6);
        const auto blank = DecodeJpeg(book.GetPerson(1).Thumbnail().value_or(""));
        ASSERT_TRUE(blank.has_value());
        EXPECT_NEAR(blank->Pixels[0], 255, 2);
        EXPECT_FALSE(book.GetPerson(2).ThumbnailData.has_value());
        // The full picture is the one of the contact's own record id; in the older table the full
        // picture is a row of format 0 like a thumbnail.
        EXPECT_EQ(book.GetPhotoStream(3).value_or(""), "full size of contact 4");
        EXPECT_EQ(book.GetPerson(3).ThumbnailData.has_value(), !current);
        EXPECT_EQ(book.GetPhotoStream(0).has_value(), !current);
    }
    TAddressBook noImages(Write(RichDb(true), false), FFolder.Path() + "missing.sqlitedb", true);
    EXPECT_EQ(noImages.Count(), 4);
    EXPECT_FALSE(noImages.GetPhotoStream(0).has_value());
}

TEST_F(Contacts, TwoBooksKeepTheirOwnNames) {
    TContactsDb a = RichDb(true);
    TContactsDb b = RichDb(false);
    b.Labels = {"_$!<Work>!$_"};
    TAddressBook first(Write(a, false), "", true);
    TAddressBook second(Write(b, false), "", true);
    EXPECT_EQ(first.GetPerson(0).GetMultiValue(0)->LabelText(first.Names()), "Mobile");
    EXPECT_EQ(second.GetPerson(0).GetMultiValue(0)->LabelText(second.Names()), "Work");
}

TEST_F(Contacts, MissingFilesAndTablesAndDamagedPictures) {
    EXPECT_EQ(TAddressBook(FFolder.Path() + "missing", "", true).Count(), 0);
    const std::string noEntries = FFolder.Path() + "broken.sqlitedb";
    test::ExecSql(noEntries,
                  "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last, Middle, Nickname, Kind, "
                  "Birthday, Department, JobTitle, Organization, Note, Prefix, Suffix);"
                  "INSERT INTO ABPerson (First) VALUES ('x');");
    EXPECT_THROW(TAddressBook(noEntries, "", true), ESQLiteException);
    EXPECT_EQ(ThumbnailJpeg("xyz"), std::nullopt);
    // Black, white, white onto two pixels: the first covers black and half a white pixel.
    const TRgbImage stretched = Stretch({3, 1, {0, 0, 0, 255, 255, 255, 255, 255, 255}}, 2, 1);
    EXPECT_EQ(stretched.Pixels, (std::vector<std::uint8_t>{85, 85, 85, 255, 255, 255}));
    const auto blank = DecodeJpeg(ThumbnailJpeg(std::string(5000, '\xFF')).value_or(""));
    ASSERT_TRUE(blank.has_value());
    EXPECT_EQ(blank->Width, 96);
    // A JPEG cut in half still decodes as far as it goes.
    const std::string half = test::TestJpeg(64, 64, 10, 20, 30).substr(0, 300);
    EXPECT_TRUE(ThumbnailJpeg(half).has_value());
    // A tiny JPEG declaring 8192 x 8192 is decoded scaled by 1/8 for its thumbnail, never whole.
    std::string huge = test::TestJpeg(16, 16, 10, 20, 30);
    huge.replace(huge.find("\xFF\xC0") + 5, 4, "\x20\x00\x20\x00", 4);
    EXPECT_EQ(DecodeJpeg(huge, 96, 96).value_or(TRgbImage{}).Width, 1024);
    EXPECT_EQ(DecodeJpeg(ThumbnailJpeg(huge).value_or("")).value_or(TRgbImage{}).Width, 96);
}

TEST_F(Contacts, RealIphone3gAddressBook) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios4-iphone3g/AddressBook.sqlitedb";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    TAddressBook book(source, "", true);
    ASSERT_EQ(book.Count(), 6);
    EXPECT_EQ(book.GetPerson(0).Name, "TeeSumTwelve Pat");
    EXPECT_EQ(book.GetPerson(2).Name, "");
    EXPECT_EQ(book.GetPerson(2).Organization, "Apple Inc.");
    EXPECT_EQ(book.FindNameByPhone("+15713083236"), "Pat");
    EXPECT_EQ(book.FindNameByPhone("5713083236"), "Pat"); // +1 and its country code: the national number
    EXPECT_NE(book.ToVCard(2).find("ADR;Work;PREF:;;1 Infinite Loop;Cupertino;CA;95014;United States\r\n"),
              std::string::npos);
}

TEST_F(Contacts, RealCurrentAddressBookWithItsWal) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios15-addressbook/";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    for (const char* name : {"AddressBook.sqlitedb", "AddressBook.sqlitedb-wal", "AddressBookImages.sqlitedb",
                             "AddressBookImages.sqlitedb-wal"}) {
        std::filesystem::copy_file(source + name, FFolder.Path() + name);
    }
    TAddressBook book(FFolder.Path() + "AddressBook.sqlitedb", FFolder.Path() + "AddressBookImages.sqlitedb",
                      true);
    ASSERT_EQ(book.Count(), 9);
    EXPECT_EQ(book.GetPerson(0).Name, "DFIR Two This Is");
    EXPECT_EQ(book.GetPerson(1).Organization, "Apple Inc.");
    EXPECT_EQ(book.FindNameByPhone("(919) 579-0479"), "Hickman Josh");
    EXPECT_EQ(book.FindNameByPhone("+1 (919) 208-4530"), "Liz");
    const TAbPerson& josh = book.GetPerson(6);
    ASSERT_EQ(josh.MultiValueCount(), 3);
    EXPECT_EQ(josh.GetMultiValue(1)->LabelText(book.Names()), "TextNow"); // a custom label
    EXPECT_EQ(josh.GetMultiValue(1)->Value, "(919) 391-2507");
    EXPECT_EQ(josh.GetMultiValue(2)->Value, "joshuahickman957@gmail.com");
    // Thumbnails of two contacts, one a JPEG and one a PNG (the blank picture), all in the WAL.
    int thumbnails = 0;
    for (int i = 0; i < book.Count(); ++i) {
        thumbnails += book.GetPerson(i).ThumbnailData ? 1 : 0;
    }
    EXPECT_EQ(thumbnails, 2);
    EXPECT_TRUE(book.GetPerson(3).ThumbnailData.has_value());
    EXPECT_GT(book.GetPhotoStream(3).value_or("").size(), 100000u);
}

} // namespace
} // namespace kestrow
