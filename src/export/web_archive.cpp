#include "export/web_archive.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_set>

#include <climits>
#include <fmt/format.h>

#include "crypto/base64.h"
#include "export/export_path.h"
#include "export/html_text.h"
#include "platform/file_io.h"
#include "platform/new_file.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/notes.h"

namespace kestrow {

namespace {

constexpr std::size_t kBase64ChunkBytes = 57 * 4096; // whole 76-character lines per chunk

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool HasScheme(std::string_view link) {
    const auto colon = link.find(':');
    return colon != std::string_view::npos && link.substr(0, colon).find('/') == std::string_view::npos;
}

// Values of src="..." and href="..." attributes as written between the quotes.
std::vector<std::string_view> LinkValues(std::string_view page) {
    std::vector<std::string_view> values;
    for (const std::string_view attribute : {std::string_view(" src=\""), std::string_view(" href=\"")}) {
        for (std::size_t at = page.find(attribute); at != std::string_view::npos;
             at = page.find(attribute, at)) {
            const std::size_t start = at + attribute.size();
            const std::size_t end = page.find('"', start);
            if (end == std::string_view::npos) {
                break;
            }
            values.push_back(page.substr(start, end - start));
            at = end;
        }
    }
    std::sort(values.begin(), values.end(),
              [&](std::string_view a, std::string_view b) { return a.data() < b.data(); }); // page order
    return values;
}

std::string QuotedPrintableMime(std::string_view text) {
    std::string out;
    std::size_t lineLength = 0;
    const auto put = [&](std::string_view piece) {
        if (lineLength + piece.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
        }
        out += piece;
        lineLength += piece.size();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineBreak = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        const bool beforeBreak = i + 1 == text.size() || text[i + 1] == '\r';
        if (lineBreak) {
            out += "\r\n";
            lineLength = 0;
            ++i;
        } else if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !beforeBreak)) {
            put(std::string(1, static_cast<char>(c)));
        } else {
            put(fmt::format("={:02X}", c));
        }
    }
    return out;
}

std::string MimeDate() {
    static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return fmt::format("{}, {:02d} {} {} {:02d}:{:02d}:{:02d} +0000", kDays[utc.tm_wday % 7], utc.tm_mday,
                       kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

// The archive as it is written: headers, the page, then each linked file streamed in base64.
class TArchiveWriter {
public:
    TArchiveWriter(const std::string& target, std::string folderUrl)
        : FWriter(target, TPublishMode::NoReplace), FFolderUrl(std::move(folderUrl)),
          FBoundary(fmt::format("----=_NextPart_000_{:08X}", static_cast<unsigned>(std::time(nullptr)))) {}

    int Error() const { return FWriter.Error(); }

    bool Begin(std::string_view page) {
        const std::string pageUrl = FFolderUrl + "index.html";
        return Put(fmt::format(
                   "From: <Saved by Kestrow>\r\nSnapshot-Content-Location: {}\r\nDate: {}\r\n"
                   "MIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n"
                   "\tboundary=\"{}\"\r\n\r\nThis is a multi-part message in MIME format.\r\n",
                   pageUrl, MimeDate(), FBoundary)) &&
               Put(fmt::format(
                   "\r\n--{}\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: "
                   "quoted-printable\r\nContent-Location: {}\r\n\r\n",
                   FBoundary, pageUrl)) &&
               Put(QuotedPrintableMime(page)); // the line break before the next boundary is the boundary's
    }

    // Returns 0 or errno of the file; a write failure shows in Error().
    int AddFile(int folderFd, const std::string& link, const std::string& path) {
        TFileHandle file;
        std::int64_t size = 0;
        if (const int err = OpenRegularFileAt(folderFd, path, file, size); err != 0) {
            return err;
        }
        if (!Put(fmt::format("\r\n--{}\r\nContent-Type: {}\r\nContent-Transfer-Encoding: base64\r\n"
                             "Content-Location: {}{}\r\n\r\n",
                             FBoundary, MimeTypeOf(path), FFolderUrl, link))) {
            return 0;
        }
        std::string chunk(kBase64ChunkBytes, '\0');
        for (;;) {
            const ssize_t got = ::read(file.Fd(), chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return errno;
            }
            if (got == 0 ||
                !Put(Base64Encode(std::string_view(chunk.data(), static_cast<std::size_t>(got)), 76) +
                     "\r\n")) {
                return 0;
            }
        }
    }

    bool Finish() { return Put(fmt::format("\r\n--{}--\r\n", FBoundary)) && FWriter.Commit(); }

private:
    bool Put(std::string_view text) { return FWriter.Write(text.data(), text.size()); }

    TAtomicFileWriter FWriter;
    std::string FFolderUrl;
    std::string FBoundary;
};

} // namespace

void DeleteFolderFiles(const std::string& folder) {
    const std::string path = WithoutTrailingSlash(folder);
    const TFileHandle handle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    DIR* dir = handle.IsOpen() ? ::fdopendir(::dup(handle.Fd())) : nullptr;
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ::unlinkat(handle.Fd(), entry->d_name, 0); // fails for a folder, which stays
        }
    }
    ::closedir(dir);
    ::rmdir(path.c_str()); // only when empty
}

std::string MimeTypeOf(std::string_view fileName) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 22> kTypes = {{
        {"jpg", "image/jpeg"},  {"jpeg", "image/jpeg"},     {"png", "image/png"},  {"gif", "image/gif"},
        {"heic", "image/heic"}, {"bmp", "image/bmp"},       {"tif", "image/tiff"}, {"tiff", "image/tiff"},
        {"html", "text/html"},  {"txt", "text/plain"},      {"vcf", "text/vcard"}, {"pdf", "application/pdf"},
        {"amr", "audio/amr"},   {"caf", "audio/x-caf"},     {"m4a", "audio/mp4"},  {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},   {"mov", "video/quicktime"}, {"mp4", "video/mp4"},  {"3gp", "video/3gpp"},
        {"m4v", "video/x-m4v"}, {"ics", "text/calendar"},
    }};
    const std::string extension = AsciiLower(ExtensionOf(fileName));
    for (const auto& [known, type] : kTypes) {
        if (extension == known) {
            return std::string(type);
        }
    }
    return "application/octet-stream";
}

std::vector<std::string> LocalLinks(std::string_view page) {
    std::vector<std::string> links;
    std::unordered_set<std::string> seen;
    for (const std::string_view value : LinkValues(page)) {
        std::string link = HtmlUnescape(value);
        if (link.empty() || HasScheme(link) || link.front() == '#' || link.front() == '/' ||
            link.find_first_of("?#") != std::string::npos) {
            continue;
        }
        if (IsSafeRelativePath(PercentDecoded(link)) && seen.insert(link).second) {
            links.push_back(std::move(link));
        }
    }
    return links;
}

int ConvertFolderToWebArchive(const std::string& folder, bool deleteFolder, std::string* archivePath) {
    const std::string path = WithoutTrailingSlash(folder);
    std::array<char, PATH_MAX> real{};
    if (::realpath(path.c_str(), real.data()) == nullptr) {
        return errno;
    }
    std::string page;
    if (!ReadWholeFile(WithTrailingSlash(path) + "index.html", page)) {
        return errno != 0 ? errno : EIO;
    }
    const TFileHandle folderHandle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folderHandle.IsOpen()) {
        return errno;
    }
    const std::string target =
        MakeExportPath(LastPathComponent(path), ".mht", ParentFolder(path).empty() ? "" : ParentFolder(path));
    TArchiveWriter writer(target, "file://" + FileLink(WithTrailingSlash(real.data())));
    if (!writer.Begin(page)) {
        return writer.Error();
    }
    for (const std::string& link : LocalLinks(page)) {
        // A linked file that is not there (an attachment the backup did not hold) is left out.
        if (const int err = writer.AddFile(folderHandle.Fd(), link, PercentDecoded(link));
            err != 0 && err != ENOENT) {
            return err;
        }
        if (writer.Error() != 0) {
            return writer.Error();
        }
    }
    if (!writer.Finish()) {
        return writer.Error();
    }
    if (archivePath != nullptr) {
        *archivePath = target;
    }
    if (deleteFolder) {
        DeleteFolderFiles(path);
    }
    return 0;
}

} // namespace kestrow
