#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/new_file.h"
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
