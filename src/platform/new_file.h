#pragma once

#include <cstddef>
#include <string>

#include "platform/file_io.h"

namespace kestrow {

// How a finished file takes its name.
enum class TPublishMode {
    NoReplace, // an existing entry of that name always wins (exports, copies for the user)
    Replace,   // replaces whatever has the name (working files in a private folder)
};

// A file being written inside an open folder. It has no name (O_TMPFILE) or a short private one
// until Publish gives it its final name, so a half-written file never carries that name and a
// failure leaves nothing behind. Created with mode 0666, so the umask applies.
class TNewFile {
public:
    TNewFile() = default;
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;
    ~TNewFile(); // discards the file unless it was published

    // Returns 0 or errno. NoReplace files are made without a name where the file system allows.
    int Create(int folderFd, TPublishMode mode);
    int Fd() const { return FFile.Fd(); }
    // Returns 0 or errno.
    int Write(const void* data, std::size_t size);
    // Closes the file and gives it `name` in the folder it was created in. Returns 0 or errno;
    // EEXIST when the mode is NoReplace and the name is taken.
    int Publish(const std::string& name);

private:
    int LinkAnonymous(const std::string& name);
    int RenamePrivate(const std::string& name);

    TFileHandle FFile;
    int FFolderFd = -1;
    TPublishMode FMode = TPublishMode::NoReplace;
    std::string FPrivateName; // empty for an anonymous file
    bool FPublished = false;
};

// Writes a file under `target` through a TNewFile in the target's folder (the path to it is the
// caller's and is followed as given).
class TAtomicFileWriter {
public:
    explicit TAtomicFileWriter(const std::string& target, TPublishMode mode = TPublishMode::Replace);
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

    bool IsOpen() const { return FError == 0; }
    int Error() const { return FError; }
    int Fd() const { return FFile.Fd(); }
    bool Write(const void* data, std::size_t size);
    bool Commit();

private:
    TFileHandle FFolder;
    std::string FName;
    TNewFile FFile;
    int FError = 0;
};

} // namespace kestrow
