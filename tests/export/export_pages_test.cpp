// Names of export files, the export table, and the pages both front ends show and export.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "export/chat_page.h"
#include "export/contact_card.h"
#include "export/export_file.h"
#include "export/export_formats.h"
#include "export/export_path.h"
#include "export/note_page.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "readers/address_book.h"
#include "readers/notes.h"
#include "readers/short_message.h"

namespace kestrow {
namespace {

void Touch(const std::string& path) {
    ASSERT_TRUE(WriteWholeFile(path, "x")) << path;
}

TEST(MakeExportPath, CleansCutsAndNumbersWithoutTouchingWhatIsThere) {
    TTempFolder out;
    const std::string folder = out.Path();
    EXPECT_EQ(MakeExportPath("A/B: C?", ".txt", folder), folder + "A_B_ C_.txt");
    Touch(folder + "A_B_ C_.txt");
    EXPECT_EQ(MakeExportPath("A/B: C?", ".txt", folder), folder + "A_B_ C__1.txt");
    Touch(folder + "A_B_ C__1.txt");
    EXPECT_EQ(MakeExportPath("A/B: C?", ".txt", folder), folder + "A_B_ C__2.txt");
    EXPECT_EQ(MakeExportPath("\"*<>\\|", "", folder), folder + "______");
    // A folder, or a dangling link, of the candidate's name is skipped like a file.
    ASSERT_EQ(::mkdir((folder + "Chat.html").c_str(), 0700), 0);
    EXPECT_EQ(MakeExportPath("Chat", ".html", folder), folder + "Chat_1.html");
    ASSERT_EQ(::symlink("/nonexistent", (folder + "Gone").c_str()), 0);
    EXPECT_EQ(MakeExportPath("Gone", "", folder), folder + "Gone_1");
    // A companion taken moves both names on.
    ASSERT_EQ(::mkdir((folder + "Talk_files").c_str(), 0700), 0);
    EXPECT_EQ(MakeExportPath("Talk", ".html", folder, "_files"), folder + "Talk_1.html");
    // Names that could name the folder itself or its parent, or nothing, stay inside and visible.
    EXPECT_EQ(MakeExportPath("..", "", folder), folder + "__");
    EXPECT_EQ(MakeExportPath("", ".vcf", folder), folder + "Unnamed.vcf");
    EXPECT_EQ(MakeExportPath(std::string("a\0b", 3), ".txt", folder), folder + "a_b.txt");
}

TEST(MakeExportPath, ARunGoesOnFromTheSuffixItLastGave) {
    TTempFolder out;
    const std::string folder = out.Path();
    Touch(folder + "N.txt");
    Touch(folder + "N_2.txt");
    TExportNames names;
    for (const char* expected : {"N_1.txt", "N_3.txt", "N_4.txt"}) {
        const std::string path = names.Path("N", ".txt", folder);
        EXPECT_EQ(path, folder + expected);
        Touch(path);
    }
    EXPECT_EQ(names.Path("N", ".vcf", folder), folder + "N.vcf"); // each extension on its own
}

TEST(MakeExportPath, CutsLongNamesToSixtyEightCharactersNeverInsideOne) {
    TTempFolder out;
    EXPECT_EQ(MakeExportPath(std::string(100, 'n'), ".txt", out.Path()),
              out.Path() + std::string(68, 'n') + ".txt");
    std::string accented;
    for (int i = 0; i < 100; ++i) {
        accented += "\xC3\xA9"; // é: two bytes, one character
    }
    EXPECT_EQ(MakeExportPath(accented, ".txt", out.Path()), out.Path() + accented.substr(0, 136) + ".txt");
    Touch(out.Path() + std::string(68, 'n') + ".txt");
    EXPECT_EQ(MakeExportPath(std::string(100, 'n'), ".txt", out.Path()),
              out.Path() + std::string(68, 'n') + "_1.txt"); // the number after the cut
}

TEST(ExportFormats, CaptionsCodesAndNames) {
    EXPECT_EQ(ExportButtonCaption(ecVoicemail, 0), "Export all voicemails");
    EXPECT_EQ(ExportButtonCaption(ecVoicemail, 1), "Export selected 1 voicemail");
    EXPECT_EQ(ExportButtonCaption(ecVoicemail, 2), "Export selected 2 voicemails");
    EXPECT_EQ(ExportButtonCaption(ecSafari, 12), "Export selected 12 urls");
    EXPECT_EQ(std::string(ExportCategoryInfo(ecSafari).Formats[1]), "Export to IE favoriates");
    EXPECT_EQ(FindExportCategory("voicemail"), ecVoicemail);
    EXPECT_EQ(FindExportCategory("Voicemail"), -1);
    EXPECT_EQ(FindExportFormat(ecContacts, "csv"), 2);
    EXPECT_EQ(FindExportFormat(ecContacts, "Single"), 1);
    EXPECT_EQ(FindExportFormat(ecContacts, "3"), 3);
    EXPECT_EQ(FindExportFormat(ecContacts, "4"), -1);
    EXPECT_EQ(FindExportFormat(ecFiles, "files"), -1); // "Files only" and "Files with full path"
    EXPECT_EQ(FindExportFormat(ecFiles, "files w"), 1);
    EXPECT_EQ(FindExportFormat(ecMessages, ""), -1);
}

TEST(ExportText, AsciiTrimAndCsvFields) {
    EXPECT_EQ(AsciiText("Chlo\xC3\xA9 \xF0\x9F\x8E\x82 \xFF!"), "Chlo? ? ?!");
    EXPECT_EQ(TrimControls("\r\n \tBEGIN\r\nEND\r\n\r\n"), "BEGIN\r\nEND");
    EXPECT_EQ(CsvQuoted("say \"hi\", twice"), "\"say \"\"hi\"\", twice\"");
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
}

TMsgItem Message(const std::string& text, bool sent, bool imessage, int sender = 0) {
    TMsgItem item;
    item.Text = text;
    item.IsSent = sent;
    item.IsIMessage = imessage;
    item.SenderIndex = sender;
    item.Date = 45000.5; // 2023-03-15 12:00
    return item;
}

TEST(ChatPage, BubblesByDirectionAndServiceWithSendersInIMessageGroups) {
    TMsgGroup group;
    group.DisplayName = "Team";
    group.Addresses = "+4470001,\"Lee, Sam\", bea@example.com";
    group.IsGroupChat = true;
    group.IsIMessage = true;
    group.Items = {Message("a<b & c\r\nnext", true, true), Message("by SMS", true, false),
                   Message("from Sam", false, true, 1), Message("from nobody known", false, true, 7)};
    const std::string page = BuildChatPage(group, {});
    const std::string body = page.substr(page.find("<div class=\"c\">"));
    EXPECT_EQ(
        body,
        "<div class=\"c\"><div class=\"b i\">a&lt;b &amp; c<br>next<p class=\"t\">03/15/23 12:00:00</p></div>"
        "<div class=\"b r\">by SMS<p class=\"t\">03/15/23 12:00:00</p></div>"
        "<div class=\"b l\">Lee, Sam:<br>from Sam<p class=\"t\">03/15/23 12:00:00</p></div>"
        "<div class=\"b l\">from nobody known<p class=\"t\">03/15/23 12:00:00</p></div>"
        "</div></body></html>");
    EXPECT_EQ(page.rfind("<!DOCTYPE HTML><html><head><meta charset=\"utf-8\">", 0), 0u);
    EXPECT_NE(page.find("-webkit-border-radius:29px"), std::string::npos);
    EXPECT_EQ(ChatTitle(group), group.Addresses);
}

TEST(ChatPage, ExportLinksPartsAndEscapesEveryBackupText) {
    TMsgGroup group;
    group.DisplayName = "<script>alert(1)</script>";
    group.Addresses = "+44 7700 900123";
    TMsgItem item = Message("Look", false, false);
    item.Pieces = {
        {11, mpkFile, "~/Library/SMS/Attachments/a/b/IMG 1.JPG", " Image/JPEG", {}},
        {12, mpkFile, "~/Library/SMS/Attachments/a/b/memo.amr", "audio/amr\"><b>x</b>", {}},
        {13, mpkText, "part.TXT", "said <this>", {}},
        {14, mpkFile, "~/Library/SMS/Attachments/c/clip.mov", "video/quicktime", "clip.mov", 2049}};
    group.Items = {item};
    TChatPageOptions options;
    options.ForExport = true;
    options.LinkPrefix = "Chat #1_files/";
    options.ExportedAt = "03/15/23 13:00:00";
    options.ExportedPart = [](const TMsgPiece& piece) -> std::optional<std::string> {
        return piece.RowId == 14 ? std::nullopt : std::optional(ExportPartName(piece)); // 14 not written
    };
    const std::string page = BuildChatPage(group, options);
    EXPECT_EQ(page.rfind("<!DOCTYPE html><head><title>&lt;script&gt;alert(1)&lt;/script&gt;</title>", 0), 0u);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    const std::string body = page.substr(page.find("<div class=\"c\">"));
    EXPECT_EQ(
        body,
        "<div class=\"c\"><p>&lt;script&gt;alert(1)&lt;/script&gt; +44 7700 900123, exported 03/15/23 "
        "13:00:00</p><div class=\"b l\">Look<div><img src=\"Chat%20%231_files/11.JPG\"></div><div><a "
        "href=\"Chat%20%231_files/12.amr\">Play audio/amr&quot;&gt;&lt;b&gt;x&lt;/b&gt;</a></div><div>said "
        "&lt;this&gt;</div><div class=\"m\">clip.mov, video/quicktime, 3 KB (not in the backup)</div><p "
        "class=\"t\">03/15/23 12:00:00</p></div></div></body></html>");
    EXPECT_EQ(ChatTitle(group), "<script>alert(1)</script> - +44 7700 900123");
}

TEST(ChatPage, ViewNamesPicturesByAddressAndOffersOtherParts) {
    TMsgGroup group;
    group.DisplayName = "+447700900123";
    group.Addresses = "+447700900123";
    TMsgItem item = Message("", false, false);
    item.Pieces = {{1, mpkData, "1-1.jpg", "image/jpeg", {}},
                   {2, mpkFile, "~/Library/SMS/Attachments/a/\"x\".png", " IMAGE/png", {}},
                   {3, mpkData, "1-3.vcf", "text/x-vcard", {}},
                   {4, mpkFile, "~/Library/SMS/Attachments/d/IMG_4.HEIC", "image/heic", {}}};
    item.Pieces[1].TransferName = "<b>\".png";
    group.Items = {item};
    TChatPageOptions options;
    options.PartInBackup = [](const TMsgPiece& piece) { return piece.RowId != 4; };
    // Each part shown links to its own anchor (kind and row id), so a right click names it; a
    // picture is named by its address, its label shown when it cannot be served.
    const std::string parts =
        "<div class=\"b l\"><div><a class=\"p\" href=\"#part-1-1\"><img src=\"part/1-1\" alt=\"image/jpeg "
        "(cannot be shown)\"></a></div><div><a class=\"p\" href=\"#part-2-2\"><img src=\"part/2-2\" "
        "alt=\"&lt;b&gt;&quot;.png,  IMAGE/png (cannot be shown)\"></a></div><div><a class=\"p\" "
        "href=\"#part-1-3\">Export to view:<br>text/x-vcard</a></div><div class=\"m\">image/heic (not in "
        "the backup)</div><p class=\"t\">";
    options.PicturesByAddress = true;
    std::string page = BuildChatPage(group, options);
    EXPECT_NE(page.find(parts), std::string::npos) << page;
    EXPECT_EQ(page.find("data:"), std::string::npos);
    // Without an address a picture is its label alone.
    options.PicturesByAddress = false;
    page = BuildChatPage(group, options);
    EXPECT_NE(
        page.find(
            "<div class=\"m\"><a class=\"p\" href=\"#part-1-1\">image/jpeg (cannot be shown)</a></div>"),
        std::string::npos)
        << page;
    EXPECT_EQ(ChatTitle(group), "+447700900123");
}

TEST(ChatPage, MemberListsSplitLikeCommaText) {
    EXPECT_EQ(SplitCommaText("a, b,\"c, d\",  \"say \"\"e\"\"\""),
              (std::vector<std::string>{"a", "b", "c, d", "say \"e\""}));
    EXPECT_EQ(SplitCommaText(""), std::vector<std::string>{});
    EXPECT_EQ(SplitCommaText("a,,b,"), (std::vector<std::string>{"a", "", "b", ""}));
}

TEST(ContactCard, GroupsValuesAndEscapesTexts) {
    TAbNames names;
    names.Labels = {"Mobile", "Home"};
    names.EntryKeys = {"Street", "City"};
    TAbPerson person;
    person.Name = "<script>x</script>";
    person.Prefix = "Dr";
    person.Nickname = "Bo & Co";
    person.JobTitle = "Chief";
    person.Organization = "ACME";
    person.Birthday = 38975; // 2006-09-15
    person.Note = "line<1>";
    TAbMultiValue phone{1, 3, 0, 1, "+44 1"};
    TAbMultiValue mail{2, 4, 0, 2, "a@example.com"};
    TAbMultiValue address{3, 5, 0, 2, ""};
    address.Entries = {{3, 2, "Brighton"}};
    person.MultiValues = {mail, phone, address};
    const std::string card = BuildContactCard(person, names, std::nullopt);
    const std::string body = card.substr(card.find("<body>"));
    EXPECT_EQ(
        body,
        "<body><div class=\"t\"><img src=\"data:image/png;base64,R0lGODlhAQABAIAAAP///"
        "wAAACH5BAAAAAAALAAAAAABAAEAAAICRAEAOw==\"/><span><p>Dr, &lt;script&gt;x&lt;/script&gt;</p>Bo &amp; "
        "Co<br>Chief ACME</span></div><table><tr><td class=\"r\">Mobile</td><td>+44 "
        "1</td></tr></table><table>"
        "<tr><td class=\"r\">Home</td><td>" +
            address.ValueText() +
            "</td></tr></table><table><tr><td class=\"r\">Birthday</td><td>09/15/06</td></tr><tr><td "
            "class=\"r\">Home</td><td>a@example.com</td></tr></table><table><tr><td "
            "class=\"r\">Notes</td><td>line&lt;1&gt;</td></tr></table></body></html>");
    // Without values neither the birthday nor the note shows; a prepared picture replaces the placeholder.
    person.MultiValues.clear();
    const std::string bare = BuildContactCard(person, names, TInlinePicture{"image/bmp", "BM"});
    EXPECT_NE(bare.find("<img src=\"data:image/bmp;base64,Qk0=\"/>"), std::string::npos);
    EXPECT_EQ(bare.find("Birthday"), std::string::npos);
    EXPECT_EQ(bare.find("Notes"), std::string::npos);
}

TEST(ContactCard, PictureSizes) {
    const auto size = [](int w, int h) {
        int sw = 0;
        int sh = 0;
        CardPictureSize(w, h, sw, sh);
        return std::make_pair(sw, sh);
    };
    EXPECT_EQ(size(300, 200), std::make_pair(100, 67));
    EXPECT_EQ(size(96, 96), std::make_pair(96, 96));
    EXPECT_EQ(size(200, 300), std::make_pair(67, 100));
    EXPECT_EQ(size(5, 200), std::make_pair(2, 100)); // 2.5: halves to even
    EXPECT_EQ(size(7, 200), std::make_pair(4, 100)); // 3.5
}

TEST(NotePage, DateAboveTheCleanedBodyOnPaper) {
    TNoteItem note;
    note.Title = "Not on the page";
    note.Body = "<div>Milk &amp; eggs</div><script>steal()</script>";
    note.ModifiedDate = 45000.75;
    const std::string page = BuildNotePage(note);
    EXPECT_EQ(page.substr(page.find("<body>")),
              "<body><div class=\"t\">03/15/23 18:00:00</div><div>Milk &amp; eggs</div></body></html>");
    EXPECT_NE(page.find("background:url(data:image/jpeg;base64,/9j/"), std::string::npos);
    EXPECT_EQ(page.find("Not on the page"), std::string::npos);
    EXPECT_LT(NotePaperJpeg().size(), 4096u);
}

TEST(NotePage, BodiesLoseEverythingThatRunsOrLoads) {
    const std::pair<const char*, const char*> cases[] = {
        {"<div onclick=\"x()\" align=center>a</div>", "<div align=\"center\">a</div>"},
        {"<SCRIPT type=x>alert(1)</script >after", "after"},
        {"<style>body{}</style><b>bold</b>", "<b>bold</b>"},
        {"<img src=\"http://tracker.example/p.gif\"><img src='data:image/png;base64,AAAA'>",
         "<img><img src=\"data:image/png;base64,AAAA\">"},
        {"<a href=\"javascript:alert(1)\">x</a><a href=\"&#106;avascript:y\">y</a><a "
         "HREF=https://a.example/?q=1&amp;r=2>z</a>",
         "<a>x</a><a>y</a><a href=\"https://a.example/?q=1&amp;r=2\">z</a>"},
        {"<iframe src=x></iframe><object data=x>o</object><svg onload=x><circle/></svg>", ""},
        {"1 < 2 and <!-- hidden --> 3 > 2", "1 &lt; 2 and  3 > 2"},
        {"<unknown a=b>text</unknown><br/>", "text<br>"},
        {"<b title=\"open", "&lt;b title=&quot;open"},
        {"<scr<script>x</script>ipt>alert(2)</script>", "xipt>alert(2)"},
    };
    for (const auto& [body, expected] : cases) {
        const std::string cleaned = SafeNoteHtml(body);
        EXPECT_EQ(cleaned, expected) << body;
        EXPECT_EQ(SafeNoteHtml(cleaned), cleaned) << body; // nothing left to clean
    }
}

} // namespace
} // namespace kestrow
