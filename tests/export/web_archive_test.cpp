// Web archives read back as MIME: the page and every file it links to, at the addresses the page
// uses, bytes unchanged.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "export/html_text.h"
#include "export/web_archive.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/mime_reader.h"

namespace kestrow {
namespace {

std::string Binary(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

class WebArchive : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(WriteWholeFile(FFolder + name, bytes)) << name;
    }
    std::optional<test::TMimeMessage> Convert(std::string& archive) {
        EXPECT_EQ(ConvertFolderToWebArchive(FFolder, true, &archive), 0);
        EXPECT_TRUE(ReadWholeFile(archive, FText));
        return test::ReadMime(FText);
    }
    void SetUp() override {
        FFolder = FOut.Path() + "Chat #1/";
        ASSERT_EQ(::mkdir(FFolder.c_str(), 0700), 0);
    }
    TTempFolder FOut;
    std::string FFolder;
    std::string FText; // the archive as written
};

TEST_F(WebArchive, PageAndLinkedFilesAtTheAddressesThePageUses) {
    const std::string picture = Binary(200000);      // many lines of base64
    const std::string audio = Binary(57 * 4096 + 1); // one byte past a whole chunk
    Write("1 photo%.jpg", picture);
    Write("2.amr", audio);
    Write("unlinked.txt", "not in the page");
    Write(".hidden", "kept");
    const std::string page = "\xEF\xBB\xBF<html><body>caf\xC3\xA9 = " + std::string(200, 'x') +
                             "\r\n<img src=\"" + FileLink("1 photo%.jpg") +
                             "\"><a href=\"2.amr\">Play</a><img src=\"2.amr\">" +
                             "<a href=\"https://remote.example/x.jpg\">r</a><img src=\"../outside.jpg\">" +
                             "<img src=\"missing.jpg\"><a href=\"#top\">t</a></body></html>";
    Write("index.html", page);
    std::string archive;
    const auto message = Convert(archive);
    EXPECT_EQ(archive, FOut.Path() + "Chat #1.mht");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Headers.at("MIME-Version"), "1.0");
    EXPECT_EQ(message->Headers.at("Content-Type").rfind("multipart/related;", 0), 0u);
    ASSERT_EQ(message->Parts.size(), 3u);
    const test::TMimePart& html = message->Parts[0];
    EXPECT_EQ(html.Headers.at("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(html.Body, page);
    // Quoted-printable and base64 lines stay within 76 characters (headers aside).
    for (std::size_t start = 0; start < FText.size();) {
        const std::size_t end = std::min(FText.find("\r\n", start), FText.size());
        const std::string_view line = std::string_view(FText).substr(start, end - start);
        EXPECT_TRUE(line.size() <= 76 || line.rfind("Content-", 0) == 0) << line;
        start = end + 2;
    }
    const std::string base = html.Headers.at("Content-Location");
    EXPECT_EQ(base, "file://" + FileLink(FOut.Path()) + "Chat%20%231/index.html");
    const std::string folderUrl = base.substr(0, base.size() - std::string("index.html").size());
    EXPECT_EQ(message->Parts[1].Headers.at("Content-Location"), folderUrl + "1%20photo%25.jpg");
    EXPECT_EQ(message->Parts[1].Headers.at("Content-Type"), "image/jpeg");
    EXPECT_EQ(message->Parts[1].Body, picture);
    EXPECT_EQ(message->Parts[2].Headers.at("Content-Location"), folderUrl + "2.amr");
    EXPECT_EQ(message->Parts[2].Headers.at("Content-Type"), "audio/amr");
    EXPECT_EQ(message->Parts[2].Body, audio);
    // The folder's files are gone; a name starting with "." keeps the folder in place.
    EXPECT_TRUE(FileExists(FFolder + ".hidden"));
    EXPECT_FALSE(PathExists(FFolder + "unlinked.txt"));
}

TEST_F(WebArchive, NeverOverwritesAnArchiveAndRemovesItsEmptyFolder) {
    Write("index.html", "<html>one</html>");
    ASSERT_TRUE(WriteWholeFile(FOut.Path() + "Chat #1.mht", "someone's archive"));
    std::string archive;
    ASSERT_TRUE(Convert(archive));
    EXPECT_EQ(archive, FOut.Path() + "Chat #1_1.mht");
    std::string kept;
    ASSERT_TRUE(ReadWholeFile(FOut.Path() + "Chat #1.mht", kept));
    EXPECT_EQ(kept, "someone's archive");
    EXPECT_FALSE(PathExists(FFolder));
}

TEST_F(WebArchive, LocalLinksOnlyInsideTheFolder) {
    EXPECT_EQ(LocalLinks(
                  "<img src=\"a.jpg\"><a href=\"b&amp;c.pdf\">x</a><img src=\"a.jpg\">"
                  "<img src=\"/etc/passwd\"><img src=\"sub/../../x\"><img src=\"%2E%2E/y\">"
                  "<img src=\"data:image/png;base64,AA\"><a href=\"mailto:a@b\">m</a><img src=\"ok/z.png\">"),
              (std::vector<std::string>{"a.jpg", "b&c.pdf", "ok/z.png"}));
    EXPECT_EQ(MimeTypeOf("X.JPEG"), "image/jpeg");
    EXPECT_EQ(MimeTypeOf("x.unknown"), "application/octet-stream");
}

} // namespace
} // namespace kestrow
