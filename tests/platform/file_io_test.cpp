#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/new_file.h"
#include "platform/output_tree.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"

namespace kestrow {
namespace {

TEST(FileIo, AtomicWriterLeavesNothingBehindUnlessCommitted) {
    TTempFolder folder;
    const std::string target = folder.Path() + "out.bin";
    ASSERT_TRUE(WriteWholeFile(target, "old content"));
    {
        TAtomicFileWriter writer(target);
        ASSERT_TRUE(writer.Write("new", 3));
        // abandoned: no commit
    }
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(target, contents));
    EXPECT_EQ(contents, "old content");
    {
        TAtomicFileWriter writer(target);
        ASSERT_TRUE(writer.Write("new", 3));
        ASSERT_TRUE(writer.Commit());
    }
    ASSERT_TRUE(ReadWholeFile(target, contents));
    EXPECT_EQ(contents, "new");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename());
    }
    EXPECT_EQ(names, std::vector<std::string>{"out.bin"});
}

TEST(FileIo, ExclusiveCopyRefusesAnExistingTarget) {
    TTempFolder folder;
    const std::string source = folder.Path() + "a";
    std::string big(3 << 20, 'x');
    big[12345] = 'y';
    ASSERT_TRUE(WriteWholeFile(source, big));
    EXPECT_EQ(CopyFileExclusive(source, folder.Path() + "b"), 0);
    std::string copy;
    ASSERT_TRUE(ReadWholeFile(folder.Path() + "b", copy));
    EXPECT_EQ(copy, big);
    EXPECT_EQ(CopyFileExclusive(source, folder.Path() + "b"), EEXIST);
    EXPECT_EQ(CopyFileExclusive(folder.Path() + "missing", folder.Path() + "c"), ENOENT);
    EXPECT_FALSE(PathExists(folder.Path() + "c"));
}

TEST(FileIo, MappedFileViewsWholeContentsAndEmptyFiles) {
    TTempFolder folder;
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "f", "abc"));
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "e", ""));
    TMappedFile file;
    ASSERT_EQ(file.Open(folder.Path() + "f"), 0);
    EXPECT_EQ(file.View(), "abc");
    ASSERT_EQ(file.Open(folder.Path() + "e"), 0);
    EXPECT_TRUE(file.View().empty());
    EXPECT_EQ(file.Open(folder.Path() + "missing"), ENOENT);
    EXPECT_EQ(file.Open(folder.Path()), kNotRegularFileError);
}

} // namespace
} // namespace kestrow

namespace kestrow {
namespace {

TEST(NewFile, PublishNeverReplacesWhatAppearedMeanwhile) {
    TTempFolder folder;
    const TFileHandle dir(::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY));
    const std::string longName(255, 'n'); // a private suffix on top of it could not fit NAME_MAX
    for (const std::string& name : {std::string("target"), longName}) {
        TNewFile file;
        ASSERT_EQ(file.Create(dir.Fd(), TPublishMode::NoReplace), 0);
        ASSERT_EQ(file.Write("decrypted", 9), 0);
        ASSERT_TRUE(WriteWholeFile(folder.Path() + name, "appeared meanwhile"));
        EXPECT_EQ(file.Publish(name), EEXIST);
        std::string contents;
        ASSERT_TRUE(ReadWholeFile(folder.Path() + name, contents));
        EXPECT_EQ(contents, "appeared meanwhile");
    }
    {
        TNewFile replacing;
        ASSERT_EQ(replacing.Create(dir.Fd(), TPublishMode::Replace), 0);
        ASSERT_EQ(replacing.Write("new", 3), 0);
        EXPECT_EQ(replacing.Publish(longName), 0);
    }
    {
        TNewFile abandoned;
        ASSERT_EQ(abandoned.Create(dir.Fd(), TPublishMode::Replace), 0);
        ASSERT_EQ(abandoned.Write("half", 4), 0);
    }
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(folder.Path() + longName, contents));
    EXPECT_EQ(contents, "new");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{longName, "target"}));
}

TEST(NewFile, RegularFilesOnlyAndNoLinkBelowTheFolder) {
    TTempFolder folder;
    TTempFolder outside;
    ASSERT_TRUE(WriteWholeFile(outside.Path() + "secret", "secret"));
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "plain", "plain"));
    std::filesystem::create_symlink(outside.Path() + "secret", folder.Path() + "link");
    std::filesystem::create_directory_symlink(outside.Path(), folder.Path() + "dirlink");
    ASSERT_EQ(::mkfifo((folder.Path() + "fifo").c_str(), 0600), 0);
    MakeFolders(folder.Path() + "dir");
    const TFileHandle dir(::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY));
    TFileHandle file;
    std::int64_t size = -1;
    EXPECT_EQ(OpenRegularFileAt(dir.Fd(), "plain", file, size), 0);
    EXPECT_EQ(size, 5);
    for (const char* refused : {"link", "fifo", "dir", "dirlink/secret", "dir/../link"}) {
        EXPECT_EQ(OpenRegularFileAt(dir.Fd(), refused, file, size), kNotRegularFileError) << refused;
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(OpenRegularFileAt(dir.Fd(), "missing", file, size), ENOENT);
    // An absolute path is the caller's own: its folders are followed, its last component is not.
    EXPECT_EQ(OpenRegularFileAt(AT_FDCWD, folder.Path() + "dirlink/secret", file, size), 0);
    EXPECT_EQ(OpenRegularFileAt(AT_FDCWD, folder.Path() + "link", file, size), kNotRegularFileError);
}

TEST(OutputTree, FoldersAreMadeBelowWithoutFollowingLinks) {
    TTempFolder folder;
    TTempFolder outside;
    TOutputTree tree;
    ASSERT_EQ(tree.Open(folder.Path() + "dest"), 0);
    int error = 0;
    ASSERT_NE(tree.Folder("a/b/c", error), nullptr);
    EXPECT_TRUE(FolderExists(folder.Path() + "dest/a/b/c"));
    std::filesystem::create_directory_symlink(outside.Path(), folder.Path() + "dest/a/link");
    EXPECT_EQ(tree.Folder("a/link/d", error), nullptr);
    EXPECT_EQ(error, ELOOP);
    EXPECT_EQ(tree.Folder("a/../x", error), nullptr);
    EXPECT_EQ(error, EINVAL);
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "dest/file", ""));
    EXPECT_EQ(tree.Folder("file/sub", error), nullptr);
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_TRUE(std::filesystem::is_empty(outside.Path()));
}

} // namespace
} // namespace kestrow
