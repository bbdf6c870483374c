#include <filesystem>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/notes.h"
#include "readers/sqlite_database.h"
#include "support/fixed_zone.h"
#include "support/notes_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TNoteRow;

class Notes : public ::testing::Test {
protected:
    std::string Write(const std::string& sql) {
        const std::string path = FFolder.Path() + "notes" + std::to_string(++FCount) + ".sqlite";
        test::ExecSql(path, sql);
        return path;
    }
    TTempFolder FFolder;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(Notes, BothStoresWithBodiesAndDates) {
    const std::vector<TNoteRow> rows = {{"Shopping", "<div>Milk</div><div>Eggs</div>", 400000000},
                                        {"Empty", std::nullopt, 0},
                                        {"Ideas", "one<br>two", 400000100}};
    for (const std::string& sql :
         {test::NotesSqliteSql(rows), test::NotesSqliteSql(rows, false), test::NotesDbSql(rows)}) {
        TNotes notes(Write(sql), 3600);
        ASSERT_EQ(notes.Count(), 3);
        EXPECT_EQ(notes.Notes(0).Title, "Shopping");
        EXPECT_EQ(notes.Notes(0).Body, "<div>Milk</div><div>Eggs</div>");
        EXPECT_EQ(notes.NoteText(0), "\r\nMilk\r\nEggs");
        EXPECT_EQ(notes.Notes(1).Body, ""); // no body row: still listed
        EXPECT_EQ(IsoLocalText(notes.Notes(0).ModifiedDate), "2013-09-04T16:06:40");
        // A modification date of 0 is 2001-01-01 shifted by the offset, not "no date".
        EXPECT_EQ(IsoLocalText(notes.Notes(1).ModifiedDate), "2001-01-01T01:00:00");
        EXPECT_EQ(notes.NoteText(2), "one\r\ntwo");
    }
}

TEST_F(Notes, TwoBodyRowsForOneNoteKeepTheFirst) {
    const std::string path =
        Write(test::NotesSqliteSql({{"Twice", "first body", 1}}) +
              "INSERT INTO ZNOTEBODY (Z_PK, ZOWNER, ZCONTENT) VALUES (500, 1, 'second body');");
    TNotes notes(path, 0);
    ASSERT_EQ(notes.Count(), 1);
    EXPECT_EQ(notes.Notes(0).Body, "first body");
}

TEST(NoteText, DivsBreaksAndEntities) {
    EXPECT_EQ(NoteTextOf("Line one</DIV><div>Line two<BR>Line three"), "Line one\r\nLine two\r\nLine three");
    EXPECT_EQ(NoteTextOf("<div>a</div><p><div>b</div>"), "\r\na<p><div>b</div>"); // the second <div> stays
    EXPECT_EQ(HtmlUnescape("&lt;&gt;&amp;&quot;&nbsp;&#65;"), "<>&\" A");
    EXPECT_EQ(HtmlUnescape("&#x41;&#X42;&#$43;&#0x44;&# 69;&#+70;"), "ABCDEF");
    EXPECT_EQ(HtmlUnescape("&#65abc;x"), "Ax");     // the number reads as far as it fits
    EXPECT_EQ(HtmlUnescape("&#233;"), "\xC3\xA9");  // é as UTF-8
    EXPECT_EQ(HtmlUnescape("&#65601;"), "A");       // the low 16 bits
    EXPECT_EQ(HtmlUnescape("tail &#66"), "tail B"); // no ";": the number runs to the end
    EXPECT_EQ(HtmlUnescape("&#;"), "\xEF\xBF\xBD"); // no number: U+FFFD rather than NUL
    // An entity that is not known stays as it stood and the rest is not cut away.
    EXPECT_EQ(HtmlUnescape("Price: 5 &euro; &amp more &alpha; end"), "Price: 5 &euro; &amp more &alpha; end");
    EXPECT_EQ(HtmlUnescape("fish & chips"), "fish & chips");
    EXPECT_EQ(HtmlUnescape("&"), "&");
}

TEST_F(Notes, MissingFilesAndTables) {
    EXPECT_EQ(TNotes(FFolder.Path() + "missing", 0).Count(), 0);
    EXPECT_THROW(TNotes(Write("CREATE TABLE something (x);"), 0), ESQLiteException);
}

TEST_F(Notes, RealEmptyNotesStore) {
    const std::string source =
        std::string(KESTROW_REALDATA) + "/ios7-testphone/HomeDomain/Library/Notes/notes.sqlite";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    EXPECT_EQ(TNotes(source, 0).Count(), 0);
}

} // namespace
} // namespace kestrow
