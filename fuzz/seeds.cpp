// kestrow-fuzz-seeds DIR: writes valid inputs of every fuzzed format, one folder per target.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "crypto/digest.h"
#include "platform/paths.h"
#include "support/backup_writer.h"
#include "support/current_stores_writer.h"
#include "support/keybag_writer.h"
#include "support/mbdb_writer.h"
#include "support/picture_writer.h"
#include "support/plist_writer.h"
#include "support/safari_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

using namespace kestrow;
using namespace kestrow::test;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestrow-fuzz-seeds DIR\n";
        return 64;
    }
    const std::string dir = WithTrailingSlash(argv[1]);
    int n = 0;
    for (const char* date :
         {"2011-03-04T05:06:07Z", "2011-W09-5T05:06:07,5+02:00", "2012-366", "20110304T0506"}) {
        WriteTestFile(dir + "fuzz_iso8601/" + std::to_string(n++), date);
    }
    TBackupPlan plan;
    plan.FolderName = "b";
    plan.UniqueId = "ABC";
    plan.Encrypted = true;
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "x")};
    const std::string backup = WriteBackup(dir + "tmp", plan);
    plan.FolderName = "o";
    plan.Layout = TLayout::Old;
    plan.Encrypted = false;
    const std::string old = WriteBackup(dir + "tmp", plan);
    const std::string body = "<key>Data</key><data>AAAA</data><key>Lockdown</key><dict>"
                             "<key>DeviceName</key><string>x</string></dict>";
    WriteTestFile(dir + "fuzz_plist/xml", XmlPlistOfDictBody(body));
    std::system(("cp " + backup + "Manifest.plist " + dir + "fuzz_plist/binary").c_str());
    std::system(("cp " + old + "Manifest.plist " + dir + "fuzz_plist/old").c_str());

    TTestKeyBag bag("password", 4, 3);
    bag.AddClass(1).AddClass(2, 2, 1).AddClass(3, 1).AddClass(6, 0);
    WriteTestFile(dir + "fuzz_keybag/v3", bag.Block());
    TTestKeyBag newer("password", 2, 4);
    newer.SetDoubleDerivation(2);
    newer.AddClass(1);
    WriteTestFile(dir + "fuzz_keybag/v4", newer.Block());

    TMbdbRecordPlan record;
    record.Domain = "AppDomain-com.apple.mobilesafari";
    record.Path = "Library/Safari/History.plist";
    record.EncryptionKey = ProtectionPrefix(3) + std::string(40, 'k');
    record.Properties = {{"a", "b"}};
    TMbdbRecordPlan dir2 = record;
    dir2.Mode = 0x41ED;
    dir2.EncryptionKey.reset();
    WriteTestFile(dir + "fuzz_mbdb/records", MbdbBytes({record, dir2, record}));
    WriteTestFile(dir + "fuzz_mbfile/protected", MbFileBlob("Library/SMS/sms.db", 4096, 3, 0x81A4,
                                                            ProtectionPrefix(3) + std::string(40, 'w')));
    WriteTestFile(dir + "fuzz_mbfile/plain", MbFileBlob("Media/x.jpg", 7, 4, 0x81A4, ""));
    // Message databases of both generations, small enough for many mutations.
    MakeFolders(dir + "fuzz_sms");
    std::remove((dir + "fuzz_sms/older").c_str());
    std::remove((dir + "fuzz_sms/newer").c_str());
    TOldSmsDb older;
    older.Members = {{1, "+1"}, {2, "+2"}, {2, "+3"}};
    older.Messages = {{1, 1, 1331431724, std::string("hi"), 2},
                      {2, 2, 1331431800, std::nullopt, 3},
                      {3, 0, 352000000, std::string("im"), 0, 1, "room", "+4", 4, MadridAttachmentInfo("g")}};
    older.Pieces = {{1, 2, 0, "image/jpeg", std::string("jpg")}, {2, 2, 1, "text/plain", std::string("t")}};
    older.Attachments = {{1, "g", "~/a.jpg", "image/jpeg"}};
    ExecSql(dir + "fuzz_sms/older", "PRAGMA page_size=512;" + OldSmsSql(older));
    TNewSmsDb newer2;
    newer2.Handles = {{1, "+1"}, {2, "+2"}};
    newer2.Chats = {{1, 45, "+1"}, {2, 43, "c", "iMessage"}};
    newer2.ChatHandles = {{2, 1}, {2, 2}};
    newer2.Messages = {{1, std::string("a"), 1, 400000000},
                       {2, std::string("b"), 2, 400000000, false, "iMessage", "c"}};
    newer2.ChatMessages = {{1, 1}, {2, 2}};
    newer2.Attachments = {{1, "~/x.jpg", "image/jpeg"}};
    newer2.MessageAttachments = {{2, 1}};
    ExecSql(dir + "fuzz_sms/newer", "PRAGMA page_size=512;" + NewSmsSql(newer2));
    const std::string fieldBreak(1, '\xFF');
    std::string contact;
    for (const std::string& field : {std::string("Zo\xC3\xAB"),
                                     std::string("M\xC3\xBCller"),
                                     std::string("Q"),
                                     std::string("Dr"),
                                     std::string("Jr"),
                                     std::string("Acme"),
                                     std::string("R&D"),
                                     std::string("Engineer"),
                                     std::string(80, 'n'),
                                     std::string("Nick"),
                                     std::string("12"),
                                     std::string(),
                                     std::string("\x03+44 20"),
                                     std::string("\x04mail@x"),
                                     std::string("\x05street\nline"),
                                     std::string("\x06url"),
                                     std::string("\x07=x"),
                                     std::string("\x08\r\n"),
                                     std::string("\x09"),
                                     std::string("\x0a"),
                                     std::string("Label"),
                                     std::string("Key")}) {
        contact += field + fieldBreak;
    }
    WriteTestFile(dir + "fuzz_vcard/contact", contact);
    WriteTestFile(dir + "fuzz_notes/body", "<div>a &amp; b</div><DIV>c<br>&#65;&#x42;&#$43;&euro;&#66</div>");
    WriteTestFile(
        dir + "fuzz_history/xml",
        HistoryPlist({{"https://a.example/", "A"}, {"https://b.example/", std::nullopt, "1,5"}}, false));
    WriteTestFile(dir + "fuzz_typedstream/short", AttributedBody("Hi \xEF\xBF\xBC there"));
    WriteTestFile(dir + "fuzz_typedstream/mutable", AttributedBody(std::string(300, 'x'), true));
    MakeFolders(dir + "fuzz_msg_summary");
    WriteTestFile(dir + "fuzz_msg_summary/edited",
                  MessageSummaryInfo({{{1, "Meet at 6"}, {2, "Meet at 7"}}, {{3, "a"}, {4, "b"}}}, {1}));
    WriteTestFile(dir + "fuzz_msg_summary/unsent", MessageSummaryInfo({}, {0, 1}));
    newer2.Current = true;
    newer2.Chats[1].DisplayName = "Trip";
    newer2.Messages[1].AssociatedType = 2000;
    newer2.Messages[1].AssociatedGuid = "p:0/msg1";
    newer2.Messages[0].SummaryInfo = MessageSummaryInfo({{{1, "x"}, {2, "a"}}}, {});
    newer2.Messages[0].DateEdited = 2;
    std::remove((dir + "fuzz_sms/current").c_str());
    ExecSql(dir + "fuzz_sms/current", "PRAGMA page_size=512;" + NewSmsSql(newer2));
    WriteTestFile(dir + "fuzz_notestore/protobuf", NoteProtobuf("Title\nBody"));
    WriteTestFile(dir + "fuzz_notestore/gzip", NoteData("Title\nBody"));
    WriteTestFile(
        dir + "fuzz_notestore/styled",
        NoteProtobufRuns("Title\nItem \xEF\xBF\xBC\n",
                         {{.Length = 6, .Style = 0},
                          {.Length = 5, .Style = 103, .Done = 1, .Weight = 3, .Link = "https://a.example/"},
                          {.Length = 1, .AttachmentId = "A", .AttachmentUti = "public.jpeg"},
                          {.Length = 1, .Style = 102, .Indent = 2}}));
    WriteTestFile(dir + "fuzz_notestore/table", TableMergeProtobuf({{"a", "b"}, {"c", "d"}}));
    WriteTestFile(
        dir + "fuzz_note_html/body",
        "<div onclick='x' align=left>a &amp; b<br/><script>s()</script><img src=\"data:image/png;base64,AA\">"
        "<a href=https://a.example/>l</a><!-- c --><b title=\"open</div>");
    WriteTestFile(dir + "fuzz_heif/exif",
                  TestHeic(24, 16, 10, 200, 30, ExifTiff("2022:02:02 02:02:02", 8), 8));
    WriteTestFile(dir + "fuzz_exif/jpeg", JpegWithExif(std::string("\xFF\xD8\xFF\xD9", 4),
                                                       ExifTiff("2021:07:14 09:30:05", 3, "-03:00")));
    WriteTestFile(dir + "fuzz_exif/heic", TestHeic(16, 16, 0, 0, 0, ExifTiff("2019:01:02 03:04:05")));
    return 0;
}
