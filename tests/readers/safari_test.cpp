#include <filesystem>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "readers/safari.h"
#include "readers/sqlite_database.h"
#include "support/fixed_zone.h"
#include "support/plist_writer.h"
#include "support/safari_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBookmarkRow;
using test::THistoryEntry;

class Safari : public ::testing::Test {
protected:
    std::string Bookmarks(const std::vector<TBookmarkRow>& rows, bool unique = true) {
        const std::string path = FFolder.Path() + "Bookmarks" + std::to_string(++FCount) + ".db";
        test::ExecSql(path, test::BookmarksSql(rows, unique));
        return path;
    }
    std::string History(const std::vector<THistoryEntry>& entries) {
        const std::string path = FFolder.Path() + "History" + std::to_string(++FCount) + ".xml";
        EXPECT_TRUE(WriteWholeFile(path, test::HistoryPlist(entries, false)));
        return path;
    }
    TTempFolder FFolder;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(Safari, BookmarksWithTheirFolderPaths) {
    TSafari safari(Bookmarks({{0, std::nullopt, true, "Root"},
                              {1, 0, true, "BookmarksBar"},
                              {2, 1, true, "News"},
                              {3, 2, false, "Paper", "https://paper.example/"},
                              {4, 0, false, "Top", "https://top.example/"},
                              {5, 1, false, "Bar item", "https://bar.example/"},
                              {6, 42, false, "Orphan", "https://orphan.example/"}}),
                   0, "");
    EXPECT_TRUE(safari.HasBookmarks());
    EXPECT_FALSE(safari.HasHistory());
    ASSERT_EQ(safari.BookmarkCount(), 6); // the root row is left out
    EXPECT_TRUE(safari.Bookmarks(0).IsFolder);
    EXPECT_EQ(safari.Bookmarks(0).Url, "");
    EXPECT_EQ(safari.Bookmarks(2).Url, "https://paper.example/");
    EXPECT_EQ(safari.FolderPath(2), "BookmarksBar\\News");
    EXPECT_EQ(safari.FolderPath(3), "");
    EXPECT_EQ(safari.FolderPath(4), "BookmarksBar");
    EXPECT_EQ(safari.FolderPath(5), "");
}

TEST_F(Safari, RepeatedFolderIdsAndCyclesDoNotStopTheReading) {
    TSafari safari(Bookmarks({{1, 0, true, "A"},
                              {1, 0, true, "A again"}, // an id twice: the first is kept
                              {2, 3, true, "B"},
                              {3, 2, true, "C"}, // B and C hold each other
                              {4, 3, false, "In the loop", "https://loop.example/"},
                              {5, 1, false, "In A", "https://a.example/"}},
                             false),
                   0, "");
    ASSERT_EQ(safari.BookmarkCount(), 6);
    EXPECT_EQ(safari.FolderPath(5), "A");
    EXPECT_EQ(safari.FolderPath(4), "B\\C");
}

TEST_F(Safari, HistoryEntriesTitlesAndDates) {
    TSafari safari("", 3600,
                   History({{"https://a.example/", "Page A", "600000000.75"},
                            {"https://b.example/", std::nullopt, "600000100,25"}, // decimal comma, no title
                            {std::nullopt, "No address", "600000200"},            // not listed
                            {"https://c.example/", "Old", "0"},
                            {"https://d.example/", "Six", "1", -1, false},           // six children: read
                            {"https://e.example/", std::nullopt, "1", -1, false}})); // four: skipped
    EXPECT_FALSE(safari.HasBookmarks());
    EXPECT_EQ(safari.BookmarkCount(), 0);
    ASSERT_EQ(safari.HistoryCount(), 4);
    EXPECT_EQ(safari.History(3).Title, "Six");
    EXPECT_EQ(safari.History(0).Title, "Page A");
    EXPECT_EQ(IsoLocalText(safari.History(0).Date), "2020-01-06T11:40:01");
    EXPECT_EQ(safari.History(1).Title, "No title");
    EXPECT_EQ(IsoLocalText(safari.History(1).Date), "2020-01-06T11:41:40");
    EXPECT_EQ(safari.History(2).Date, 0);
}

TEST_F(Safari, AnErrorEndsTheHistoryKeepingWhatWasRead) {
    TSafari safari("", 0,
                   History({{"https://a.example/", "A"},
                            {"https://b.example/", "B", "not a date"},
                            {"https://c.example/", "C"}}));
    ASSERT_EQ(safari.HistoryCount(), 1);
    EXPECT_EQ(ReadHistoryXml("<plist><dict><key>x</key>", 0).size(), 0u);
    EXPECT_EQ(ReadHistoryXml("", 0).size(), 0u);
}

TEST_F(Safari, RealBookmarksAndHistory) {
    const std::string root = std::string(KESTROW_REALDATA) + "/ios7-testphone/";
    if (!std::filesystem::exists(root)) {
        GTEST_SKIP() << "shared real data not present";
    }
    // The binary history converted as the session converts it (keys sorted).
    const std::string history = FFolder.Path() + "History.xml";
    plist_t plist = nullptr;
    std::string binary;
    ASSERT_TRUE(ReadWholeFile(root + "App - com.apple.mobilesafari/Library/Safari/History.plist", binary));
    plist_from_bin(binary.data(), static_cast<std::uint32_t>(binary.size()), &plist);
    test::TPlistPtr owner(plist);
    ASSERT_TRUE(WriteWholeFile(history, test::PlistXml(plist)));
    TSafari safari(root + "HomeDomain/Library/Safari/Bookmarks.db", 0, history);
    ASSERT_EQ(safari.BookmarkCount(), 11);
    EXPECT_EQ(safari.Bookmarks(7).Title, "Apple");
    EXPECT_EQ(safari.FolderPath(7), "BookmarksBar");
    EXPECT_EQ(safari.HistoryCount(), 7);
}

} // namespace
} // namespace kestrow
