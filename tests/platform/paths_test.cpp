#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"

namespace kestrow {
namespace {

TEST(Paths, ComponentsAndExtensions) {
    EXPECT_EQ(WithTrailingSlash("/a/b"), "/a/b/");
    EXPECT_EQ(WithTrailingSlash("/a/b/"), "/a/b/");
    EXPECT_EQ(WithoutTrailingSlash("/a/b//"), "/a/b");
    EXPECT_EQ(LastPathComponent("Library/SMS/sms.db"), "sms.db");
    EXPECT_EQ(LastPathComponent("sms.db"), "sms.db");
    EXPECT_EQ(ParentFolder("Library/SMS/sms.db"), "Library/SMS/");
    EXPECT_EQ(ParentFolder("sms.db"), "");
    EXPECT_EQ(ExtensionOf("a/IMG_0001.JPG"), "JPG");
    EXPECT_EQ(ExtensionOf("a.b/README"), "");
    EXPECT_EQ(ExtensionOf(".profile"), "");
}

TEST(Paths, UntrustedRelativePathsThatLeaveTheFolderAreRefused) {
    for (const char* ok : {"Library/SMS/sms.db", "a", "a/b..c/d", "..a", "a./b"}) {
        EXPECT_TRUE(IsSafeRelativePath(ok)) << ok;
    }
    for (const char* bad : {"", "/etc/passwd", "../x", "a/../../x", "a/..", "a/./b", "a\\..\\b", "a//b/."}) {
        EXPECT_FALSE(IsSafeRelativePath(bad)) << bad;
    }
    EXPECT_FALSE(IsSafeRelativePath(std::string("a\0b", 3)));
}

TEST(Paths, FindsNamesWithoutRegardToCase) {
    TTempFolder folder;
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "Manifest.PLIST", "x"));
    EXPECT_EQ(FindNameNoCase(folder.Path(), "manifest.plist"), folder.Path() + "Manifest.PLIST");
    EXPECT_EQ(FindNameNoCase(folder.Path(), "info.plist"), folder.Path() + "info.plist");
}

TEST(Paths, MakeFoldersCreatesParentsAndReportsErrno) {
    TTempFolder folder;
    EXPECT_EQ(MakeFolders(folder.Path() + "a/b/c/"), 0);
    EXPECT_TRUE(FolderExists(folder.Path() + "a/b/c"));
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "file", "x"));
    EXPECT_NE(MakeFolders(folder.Path() + "file/sub"), 0);
}

TEST(TempFolder, IsPrivateAndRemovedWithEverythingInIt) {
    std::string path;
    {
        TTempFolder folder;
        ASSERT_TRUE(folder.IsValid());
        path = folder.Path();
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(MakeFolders(path + "deep/er"), 0);
        ASSERT_TRUE(WriteWholeFile(path + "deep/er/secret", "personal data"));
    }
    EXPECT_FALSE(PathExists(path));
}

} // namespace
} // namespace kestrow
