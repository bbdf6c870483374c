#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/crypto_writer.h"
#include "support/demo_data.h"
#include "support/file_tree.h"
#include "support/photos_writer.h"
#include "support/plist_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

std::int64_t ModifiedTime(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs kestrow-cli as a user would, with its own environment.
class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        TBackupPlan plan;
        plan.FolderName = "plain";
        plan.DeviceName = "Plain Phone";
        plan.UniqueId = "AAAA";
        plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "messages"),
                      TTestFile("AppDomain-com.example.app", "Documents/Notes.TXT", "app text"),
                      TTestFile("MediaDomain", "Media/DCIM/IMG_1.jpg", std::string(70000, 'j'))};
        plan.Files[2].ModifiedTime = 1262349296;
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "secret";
        plan.DeviceName = "Secret Phone";
        plan.Encrypted = true;
        plan.Password = "pässword";
        plan.Files[0].ProtectionClass = 2;
        test::WriteBackup(FRoot.Path(), plan);
        ASSERT_TRUE(WriteWholeFile(FWork.Path() + "pw", "pässword\r\nsecond line"));
        ASSERT_TRUE(WriteWholeFile(FWork.Path() + "wrong", "wrong\n"));
    }

    std::string Command(const std::string& args, const std::string& env) {
        return "env -u KESTROW_PASSWORD -u KESTROW_NOTES_PASSWORD -u KESTROW_BACKUP_ROOT TZ=UTC LC_ALL=C " +
               env + " " + Quote(KESTROW_CLI) + " --root " + Quote(FRoot.Path()) + " " + args;
    }

    TRun Run(const std::string& args, const std::string& env = "", const std::string& cwd = "/") {
        const std::string out = FWork.Path() + "stdout";
        const std::string err = FWork.Path() + "stderr";
        const std::string command = "cd " + Quote(cwd) + " && " + Command(args, env) + " >" + Quote(out) +
                                    " 2>" + Quote(err) + " </dev/null";
        TRun run;
        const int status = std::system(command.c_str());
        run.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ReadWholeFile(out, run.Out);
        ReadWholeFile(err, run.Err);
        return run;
    }
    std::string PasswordFile() { return "--password-file " + Quote(FWork.Path() + "pw"); }

    TTempFolder FRoot;
    TTempFolder FWork;
};

TEST_F(Cli, ListDescribesEveryBackup) {
    const TRun text = Run("list");
    ASSERT_EQ(text.Exit, 0) << text.Err;
    EXPECT_EQ(text.Out, "0\tPlain Phone\t05/10/12 08:15:30\taaaa\tplain\n"
                        "1\tSecret Phone\t05/10/12 08:15:30\taaaa\tencrypted\n");
    const TRun json = Run("list --json");
    ASSERT_EQ(json.Exit, 0);
    const auto list = nlohmann::json::parse(json.Out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["index"], 1);
    EXPECT_EQ(list[1]["path"], FRoot.Path() + "secret/");
    EXPECT_EQ(list[1]["deviceName"], "Secret Phone");
    EXPECT_EQ(list[1]["date"], "2012-05-10T08:15:30+00:00");
    EXPECT_EQ(list[1]["uniqueId"], "aaaa");
    EXPECT_EQ(list[1]["encrypted"], true);
    EXPECT_EQ(list[1].size(), 6u);
}

TEST_F(Cli, MissingRootIsAnEmptyListWithAMessage) {
    const std::string command = std::string(KESTROW_CLI) + " --root /nonexistent/root list --json >" +
                                FWork.Path() + "o 2>" + FWork.Path() + "e";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string out;
    std::string err;
    ReadWholeFile(FWork.Path() + "o", out);
    ReadWholeFile(FWork.Path() + "e", err);
    EXPECT_EQ(out, "[]\n");
    EXPECT_NE(err.find("/nonexistent/root"), std::string::npos);
    EXPECT_EQ(Run("--version").Exit, 0);
    EXPECT_EQ(Run("--help").Exit, 0);
    EXPECT_EQ(Run("no-such-command").Exit, 64);
    EXPECT_EQ(Run("open").Exit, 64);
    EXPECT_EQ(Run("open notanumber").Exit, 64);
}

TEST_F(Cli, CheckPasswordAnswersRightOrWrong) {
    EXPECT_EQ(Run("check-password 1 " + PasswordFile()).Out, "right\n");
    EXPECT_EQ(Run("check-password 1 " + PasswordFile()).Exit, 0);
    const TRun wrong = Run("check-password 1 --password-file " + Quote(FWork.Path() + "wrong"));
    EXPECT_EQ(wrong.Exit, 3);
    EXPECT_EQ(wrong.Out, "Wrong password.\n");
    // The password file comes before the environment.
    EXPECT_EQ(Run("check-password 1 " + PasswordFile(), "KESTROW_PASSWORD=wrong").Exit, 0);
    EXPECT_EQ(Run("check-password 1", "KESTROW_PASSWORD=pässword").Exit, 0);
    EXPECT_EQ(Run("check-password 0 " + PasswordFile()).Exit, 2);
    EXPECT_EQ(Run("check-password 1").Exit, 64); // no terminal, no password
    EXPECT_EQ(Run("check-password 5 " + PasswordFile()).Exit, 1);
}

TEST_F(Cli, OpenReportsTheStatusAsExitCode) {
    const TRun opened = Run("open 1 " + PasswordFile());
    ASSERT_EQ(opened.Exit, 0) << opened.Err;
    EXPECT_EQ(opened.Out, "Secret Phone\n05/10/12 08:15:30\n3 files\nMessages, Files\n");
    const TRun wrong = Run("open 1", "KESTROW_PASSWORD=nope");
    EXPECT_EQ(wrong.Exit, 3);
    EXPECT_EQ(wrong.Err, "Wrong password.\nPlease input the correct password to continue.\n");
    EXPECT_EQ(Run("open 7").Exit, 1);
}

TEST_F(Cli, RefreshRunsTheBackupToolThenOpensTheNewestBackup) {
    const std::string log = FWork.Path() + "tool-args";
    const std::string tool = FWork.Path() + "idevicebackup2";
    ASSERT_TRUE(WriteWholeFile(tool, "#!/bin/sh\nprintf '%s|' \"$@\" > " + Quote(log) + "\nexit 1\n"));
    ::chmod(tool.c_str(), 0755);
    const TRun refreshed = Run("refresh AAAA", "KESTROW_BACKUP_TOOL=" + Quote(tool));
    ASSERT_EQ(refreshed.Exit, 0) << refreshed.Err;
    EXPECT_EQ(refreshed.Out, "Plain Phone\n05/10/12 08:15:30\n");
    EXPECT_EQ(refreshed.Err, "Updating the backup, please wait ...\nLoading ...\n");
    std::string args;
    ReadWholeFile(log, args);
    EXPECT_EQ(args, "--udid|aaaa|backup|" + FRoot.Path() + "|");

    // Without the tool the newest existing backup is still opened, after the failure texts.
    const TRun missing = Run("refresh aaaa", "PATH=/nonexistent");
    ASSERT_EQ(missing.Exit, 0) << missing.Err;
    EXPECT_EQ(missing.Err,
              "Updating the backup, please wait ...\n[Fb] Mobilebackup not found\n"
              "Cannot back up Plain Phone.\nPlease back up the device from iTunes.\nLoading ...\n");
    const TRun unknown = Run("refresh bbbb", "KESTROW_BACKUP_TOOL=" + Quote(tool));
    EXPECT_EQ(unknown.Exit, 1);
    EXPECT_EQ(unknown.Err,
              "Please back up your device in the iTunes.\nThen, run this program again to read the "
              "content of created backup.\n");
}

TEST_F(Cli, FilesListsAndFilters) {
    const TRun all = Run("files 1 --json " + PasswordFile());
    ASSERT_EQ(all.Exit, 0);
    const auto files = nlohmann::json::parse(all.Out);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0]["key"], "Library/SMS/sms.db");
    EXPECT_EQ(files[0]["fileName"], "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(files[0]["size"], 8);
    EXPECT_EQ(files[0]["isApp"], false);
    EXPECT_EQ(files[0]["encrypted"], true);
    const auto apps = nlohmann::json::parse(Run("files 0 --json --app").Out);
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0]["key"], "example.app/Documents/Notes.TXT");
    EXPECT_EQ(Run("files 0 --type txt").Out.find("example.app/Documents/Notes.TXT\t"), 0u);
    EXPECT_EQ(Run("files 0 --type .JPG").Out.find("Media/DCIM/IMG_1.jpg\t"), 0u);
}

TEST_F(Cli, ExtractAndExtractAllAreByteExact) {
    const TRun one = Run("extract 1 Library/SMS/sms.db " + Quote(FWork.Path()) + " " + PasswordFile());
    ASSERT_EQ(one.Exit, 0) << one.Err;
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "sms.db", contents));
    EXPECT_EQ(contents, "messages");
    EXPECT_EQ(ModifiedTime(FWork.Path() + "sms.db"), 1475000000);
    EXPECT_EQ(Run("extract 1 Library/SMS/sms.db " + Quote(FWork.Path()) + " " + PasswordFile()).Exit, 65);
    EXPECT_EQ(Run("extract 0 no/such/file " + Quote(FWork.Path() + "x")).Exit, 65);
    EXPECT_EQ(Run("extract 1 Library/SMS/sms.db " + Quote(FWork.Path()) + " --password-file " +
                  Quote(FWork.Path() + "wrong"))
                  .Exit,
              3);

    const TRun all = Run("extract-all 1 " + Quote(FWork.Path() + "all") + " " + PasswordFile());
    ASSERT_EQ(all.Exit, 0) << all.Err;
    EXPECT_NE(all.Out.find("Extracted 3 of 3 files"), std::string::npos);
    EXPECT_NE(all.Err.find("files 3/3"), std::string::npos);
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "all/Media/DCIM/IMG_1.jpg", contents));
    EXPECT_EQ(contents, std::string(70000, 'j'));
    EXPECT_EQ(ModifiedTime(FWork.Path() + "all/Media/DCIM/IMG_1.jpg"), 1262349296);
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "all/example.app/Documents/Notes.TXT", contents));
    EXPECT_EQ(contents, "app text");

    ASSERT_EQ(Run("extract-all 0 " + Quote(FWork.Path() + "flat") + " --flat --no-times").Exit, 0);
    EXPECT_TRUE(FileExists(FWork.Path() + "flat/Notes.TXT"));
    EXPECT_GT(ModifiedTime(FWork.Path() + "flat/IMG_1.jpg"), 1600000000); // written now
    // A second run into the same folder never overwrites: every failure is listed.
    const TRun again = Run("extract-all 0 " + Quote(FWork.Path() + "all"));
    EXPECT_EQ(again.Exit, 65);
    EXPECT_NE(again.Err.find("failed: Library/SMS/sms.db"), std::string::npos);
    EXPECT_NE(again.Out.find("3 files failed."), std::string::npos);
}

TEST_F(Cli, CurrentLayoutBackupsWorkLikeTheOlderOnes) {
    TBackupPlan plan;
    plan.FolderName = "zz-current";
    plan.DeviceName = "New Phone";
    plan.Layout = test::TLayout::ManifestDb;
    plan.Encrypted = true;
    plan.Password = "pässword";
    plan.KeyBagVersion = 4;
    plan.DoubleIterations = 3;
    // Domains that share a key, as real backups hold them: every file is kept.
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "new messages"),
                  TTestFile("HomeDomain", "Library/Notes/notes.sqlite", std::string(50000, 'n')),
                  TTestFile("RootDomain", "Library/Preferences/.GlobalPreferences.plist", "root"),
                  TTestFile("HomeDomain", "Library/Preferences/.GlobalPreferences.plist", "home"),
                  TTestFile("AppDomainGroup-group.net.whatsapp", "ChatStorage.sqlite", "chats")};
    plan.Files[1].ProtectionClass = 2;
    const std::string folder = test::WriteBackup(FRoot.Path(), plan);
    EXPECT_EQ(Run("check-password 2 " + PasswordFile()).Exit, 0);
    EXPECT_EQ(Run("check-password 2 --password-file " + Quote(FWork.Path() + "wrong")).Exit, 3);
    EXPECT_EQ(Run("open 2 --password-file " + Quote(FWork.Path() + "wrong")).Exit, 3);
    EXPECT_NE(Run("open 2 " + PasswordFile()).Out.find("\n5 files\n"), std::string::npos);
    EXPECT_NE(Run("files 2 " + PasswordFile())
                  .Out.find("\nHomeDomain/Library/Preferences/.GlobalPreferences.plist\t"),
              std::string::npos);
    const TRun all = Run("extract-all 2 " + Quote(FWork.Path() + "new") + " " + PasswordFile());
    ASSERT_EQ(all.Exit, 0) << all.Err;
    EXPECT_EQ(all.Out.find("Extracted 5 of 5 files (50025 bytes)"), 0u);
    EXPECT_EQ(test::NamesBelow(FWork.Path() + "new"),
              (std::vector<std::string>{
                  "ChatStorage.sqlite", "HomeDomain", "HomeDomain/Library", "HomeDomain/Library/Preferences",
                  "HomeDomain/Library/Preferences/.GlobalPreferences.plist", "Library", "Library/Notes",
                  "Library/Notes/notes.sqlite", "Library/Preferences",
                  "Library/Preferences/.GlobalPreferences.plist", "Library/SMS", "Library/SMS/sms.db"}));
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "new/Library/Preferences/.GlobalPreferences.plist", contents));
    EXPECT_EQ(contents, "root");
    const TRun domains = Run("extract-all 2 " + Quote(FWork.Path() + "dom") + " --domains " + PasswordFile());
    ASSERT_EQ(domains.Exit, 0) << domains.Err;
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "dom/HomeDomain/Library/Notes/notes.sqlite", contents));
    EXPECT_EQ(contents, std::string(50000, 'n'));
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "dom/HomeDomain/Library/Preferences/.GlobalPreferences.plist",
                              contents));
    EXPECT_EQ(contents, "home");
    EXPECT_TRUE(FileExists(FWork.Path() + "dom/RootDomain/Library/Preferences/.GlobalPreferences.plist"));
    EXPECT_TRUE(FileExists(FWork.Path() + "dom/AppDomainGroup-group.net.whatsapp/ChatStorage.sqlite"));
    EXPECT_EQ(Run("extract-all 2 " + Quote(FWork.Path() + "x") + " --domains --flat " + PasswordFile()).Exit,
              64);

    // A folder named with a trailing "/" is made; a destination inside a backup is refused as such.
    ASSERT_EQ(
        Run("extract 2 Library/SMS/sms.db " + Quote(FWork.Path() + "one/two/") + " " + PasswordFile()).Exit,
        0);
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "one/two/sms.db", contents));
    EXPECT_EQ(contents, "new messages");
    const TRun inside = Run("extract 2 Library/SMS/sms.db " + Quote(folder + "x/") + " " + PasswordFile());
    EXPECT_EQ(inside.Exit, 65);
    EXPECT_EQ(inside.Err, "Cannot write " + folder +
                              "x/sms.db: inside a backup folder (nothing is ever written there)\n");
    EXPECT_FALSE(PathExists(folder + "x"));
    // A file the manifest lists but the backup folder lacks is missing there, not at the destination.
    const std::string id = test::OpenSslSha1Hex("HomeDomain-Library/SMS/sms.db");
    ASSERT_EQ(::unlink((folder + id.substr(0, 2) + "/" + id).c_str()), 0);
    const TRun missing = Run("extract 2 Library/SMS/sms.db " + Quote(FWork.Path()) + " " + PasswordFile());
    EXPECT_EQ(missing.Exit, 65);
    EXPECT_EQ(missing.Err, "Library/SMS/sms.db: not in the backup\n");
}

TEST_F(Cli, TextsThatAreNotUtf8KeepEveryByteAndComeBackThroughExtract) {
    TBackupPlan plan;
    plan.FolderName = "zz-latin1";
    plan.Files = {TTestFile("HomeDomain", "Documents/r\xE9sum\xE9.txt", "cv")};
    const std::string folder = test::WriteBackup(FRoot.Path(), plan);
    // A description in Latin-1, not UTF-8.
    test::WriteTestFile(folder + "Manifest.plist",
                        test::XmlPlistOfDictBody("<key>Lockdown</key><dict><key>DeviceName</key>"
                                                 "<string>Caf\xE9 phone</string></dict>"));
    const TRun list = Run("list --json");
    ASSERT_EQ(list.Exit, 0);
    EXPECT_EQ(nlohmann::json::parse(list.Out)[2]["deviceName"].get<std::string>(), "Caf\\xe9 phone");
    const TRun files = Run("files 2 --json");
    ASSERT_EQ(files.Exit, 0);
    const auto entry = nlohmann::json::parse(files.Out)[0];
    const std::string escaped = entry["key"].get<std::string>();
    EXPECT_EQ(escaped, "Documents/r\\xe9sum\\xe9.txt");
    EXPECT_EQ(entry["keyEscaped"], true);
    EXPECT_EQ(Run("files 2").Out.substr(0, escaped.size() + 1), escaped + "\t");
    const TRun extracted = Run("extract 2 " + Quote(escaped) + " " + Quote(FWork.Path() + "cv.txt"));
    ASSERT_EQ(extracted.Exit, 0) << extracted.Err;
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "cv.txt", contents));
    EXPECT_EQ(contents, "cv");
}

TEST_F(Cli, LogPrintsTheSessionLog) {
    test::WriteTestFile(FRoot.Path() + "broken/Manifest.plist", "<plist><dict>");
    const TRun log = Run("log 0");
    EXPECT_EQ(log.Exit, 0);
    EXPECT_EQ(log.Out, "Decode manifest error\n");
}

TEST_F(Cli, EmptyDestinationIsAUsageError) {
    const TRun all = Run("extract-all 0 ''", "", FWork.Path());
    EXPECT_EQ(all.Exit, 64);
    EXPECT_EQ(all.Err, "DEST must name a file or folder; an empty destination is refused.\n");
    EXPECT_EQ(Run("extract 0 Library/SMS/sms.db ''", "", FWork.Path()).Exit, 64);
    EXPECT_FALSE(PathExists(FWork.Path() + "Library"));
    EXPECT_FALSE(PathExists("/Library/SMS/sms.db"));
}

TEST_F(Cli, WithoutAPrivateFolderNothingIsWrittenAnywhere) {
    TTempFolder cwd;
    for (const char* args : {"list", "open 0", "extract-all 0 out", "check-password 1"}) {
        const TRun run = Run(args, "TMPDIR=/nonexistent/tmp", cwd.Path());
        EXPECT_EQ(run.Exit, 73) << args;
        EXPECT_EQ(
            run.Err.find(
                "Cannot make a private temporary folder in /nonexistent/tmp: No such file or directory."),
            0u)
            << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(cwd.Path()));
}

TEST_F(Cli, BackupTextsCannotDriveTheTerminal) {
    TBackupPlan plan;
    plan.FolderName = "zz-evil";
    plan.DeviceName = "Evil\x1b]0;owned\x07Phone\nline\xC2\x9B"
                      "2J";
    plan.Files = {TTestFile("HomeDomain", "Library/\x1b[2Jclear\tme", "x")};
    test::WriteBackup(FRoot.Path(), plan);
    const TRun list = Run("list");
    EXPECT_NE(list.Out.find("2\tEvil\\x1b]0;owned\\x07Phone\\x0aline\\xc2\\x9b2J\t"), std::string::npos)
        << list.Out;
    const TRun files = Run("files 2");
    EXPECT_EQ(files.Out.find("Library/\\x1b[2Jclear\\x09me\t"), 0u) << files.Out;
    const TRun opened = Run("open 2");
    EXPECT_EQ(opened.Out.substr(0, opened.Out.find('\n')),
              "Evil\\x1b]0;owned\\x07Phone\\x0aline\\xc2\\x9b2J");
    EXPECT_EQ(
        Run("extract 2 " + Quote("Library/\\x1b[2Jclear\\x09me") + " " + Quote(FWork.Path() + "e")).Exit, 0);
}

TEST_F(Cli, PathsBeyondTheLimitSayFileNameTooLong) {
    std::string tooLong = FWork.Path();
    while (tooLong.size() < 4200) {
        tooLong += std::string(200, 'x') + "/";
    }
    const TRun run = Run("extract 0 Library/SMS/sms.db " + Quote(tooLong + "copy"));
    EXPECT_EQ(run.Exit, 65);
    EXPECT_NE(run.Err.find(": File name too long\n"), std::string::npos) << run.Err;
}

// Calls and messages of a backup as the command line gives them.
// One of each problem planted in an encrypted backup; a record whose key an earlier one took is
// not a stray.
TEST_F(Cli, CheckTellsAWholeBackupFromABrokenOne) {
    const TRun whole = Run("check 1 " + PasswordFile());
    EXPECT_EQ(whole.Exit, 0) << whole.Err;
    EXPECT_EQ(whole.Out,
              "Snapshot state: finished\nFull backup: no\nDate: 2012-05-10T08:15:30Z\nVersion: 3.3\n"
              "3 files\nThe backup is whole.\n");
    TBackupPlan plan;
    plan.FolderName = "zz-broken";
    plan.Encrypted = true;
    plan.Password = "pässword";
    for (const char* name : {"gone", "longer", "padding", "key", "digest", "shadowed"}) {
        plan.Files.emplace_back("HomeDomain", std::string("Library/") + name, std::string(40, name[0]));
    }
    plan.Files[3].BadKey = true;
    plan.Files[4].Protected = false;
    plan.Files.emplace_back("RootDomain", "Library/shadowed",
                            "taken key"); // listed as RootDomain/Library/shadowed
    const std::string folder = test::WriteBackup(FRoot.Path(), plan);
    const auto content = [&](const char* path) {
        return folder + test::OpenSslSha1Hex(std::string("HomeDomain-") + path);
    };
    ASSERT_EQ(::unlink(content("Library/gone").c_str()), 0);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(content("Library/longer"), bytes));
    ASSERT_TRUE(WriteWholeFile(content("Library/longer"), bytes + "xyz"));
    ASSERT_TRUE(ReadWholeFile(content("Library/padding"), bytes));
    bytes[31] ^= 0x10; // the last plain byte (padding 8) becomes 24
    ASSERT_TRUE(WriteWholeFile(content("Library/padding"), bytes));
    ASSERT_TRUE(WriteWholeFile(content("Library/digest"), std::string(40, 'D')));
    ASSERT_TRUE(WriteWholeFile(folder + std::string(40, 'e'), "stray"));

    const TRun quick = Run("check 2 " + PasswordFile());
    EXPECT_EQ(quick.Exit, 10) << quick.Err;
    EXPECT_NE(
        quick.Out.find(
            "7 files\nmissing: 1\nsize: 1\nkey: 1\nunlisted: 1\nLibrary/gone\tmissing\n"
            "Library/longer\tsize\nLibrary/key\tkey\neeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee\tunlisted\n"),
        std::string::npos)
        << quick.Out;
    const TRun deep = Run("check 2 --deep --json " + PasswordFile());
    EXPECT_EQ(deep.Exit, 10) << deep.Err;
    const auto json = nlohmann::json::parse(deep.Out);
    EXPECT_EQ(json["snapshotState"], "finished");
    EXPECT_EQ(json["complete"], true);
    EXPECT_EQ(json["files"], 7);
    EXPECT_EQ(
        json["problems"].dump(),
        R"([{"key":"Library/gone","problem":"missing"},{"key":"Library/longer","problem":"size"},)"
        R"({"key":"Library/padding","problem":"padding"},{"key":"Library/digest","problem":"digest"},)"
        R"({"key":"Library/key","problem":"key"},{"key":"eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee","problem":"unlisted"}])");
    EXPECT_EQ(Run("check 2 --password-file " + Quote(FWork.Path() + "wrong")).Exit, 3);
    EXPECT_EQ(Run("check 9").Exit, 1);

    // A run cut short: the current layout's Status.plist still says "uploading". In its content
    // folders a folder and a link stand where files belong: neither is taken for the file.
    plan = {};
    plan.FolderName = "zz-cut";
    plan.Layout = test::TLayout::ManifestDb;
    plan.SnapshotState = "uploading";
    plan.Files = {TTestFile("HomeDomain", "Library/a", "a"), TTestFile("HomeDomain", "Library/b", "b"),
                  TTestFile("HomeDomain", "Library/c", "c")};
    const std::string cutFolder = test::WriteBackup(FRoot.Path(), plan);
    const auto sharded = [&](const char* path) {
        const std::string id = test::OpenSslSha1Hex(std::string("HomeDomain-") + path);
        return cutFolder + id.substr(0, 2) + "/" + id;
    };
    ASSERT_EQ(::unlink(sharded("Library/b").c_str()), 0);
    ASSERT_EQ(::mkdir(sharded("Library/b").c_str(), 0755), 0);
    ASSERT_EQ(::unlink(sharded("Library/c").c_str()), 0);
    ASSERT_EQ(::symlink(sharded("Library/a").c_str(), sharded("Library/c").c_str()), 0);
    const TRun cut = Run("check 3 --json");
    EXPECT_EQ(cut.Exit, 10);
    const auto cutJson = nlohmann::json::parse(cut.Out);
    EXPECT_EQ(cutJson["complete"], false);
    EXPECT_EQ(cutJson["snapshotState"], "uploading");
    EXPECT_EQ(cutJson["problems"].dump(),
              R"([{"key":"Library/b","problem":"missing"},{"key":"Library/c","problem":"missing"}])");
}

class CliCategories : public Cli {
protected:
    virtual bool WithContacts() const { return false; }
    void SetUp() override {
        Cli::SetUp();
        TBackupPlan plan;
        plan.FolderName = "zz-data";
        plan.Encrypted = true;
        plan.Password = "pässword";
        test::AddDemoMessages(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        if (WithContacts()) {
            test::AddDemoContacts(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        }
        test::AddDemoCalendar(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        test::AddDemoNotes(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        test::AddDemoSafari(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        test::AddDemoVoicemail(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        test::AddDemoCalls(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        test::WriteBackup(FRoot.Path(), plan);
    }
};

TEST_F(CliCategories, CallsAsLinesAndAsJson) {
    const TRun lines = Run("calls 2 " + PasswordFile());
    ASSERT_EQ(lines.Exit, 0) << lines.Err;
    EXPECT_EQ(lines.Out.substr(0, lines.Out.find('\n')),
              "06/13/24 18:26:40\toutgoing\t+447700900123\t+447700900123\t1:35");
    // Dates carry the offset the session read them with (the zone's offset now: Kolkata has one).
    const TRun json = Run("calls 2 --json " + PasswordFile(), "TZ=Asia/Kolkata");
    ASSERT_EQ(json.Exit, 0) << json.Err;
    const auto calls = nlohmann::ordered_json::parse(json.Out);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].dump(), "{\"address\":\"+447700900123\",\"date\":\"2024-06-13T23:56:40+05:30\","
                               "\"duration\":95,\"durationText\":\"1:35\",\"kind\":1,\"contactId\":-1,"
                               "\"displayName\":\"+447700900123\"}");
    EXPECT_EQ(calls[3]["kind"], 6);
    // A backup without call history: an empty list.
    EXPECT_EQ(Run("calls 0 --json").Out, "[]\n");
    EXPECT_EQ(Run("calls 7").Exit, 1);
}

TEST_F(CliCategories, ConversationsWithMessagesAndParts) {
    const TRun json = Run("messages 2 --json " + PasswordFile());
    ASSERT_EQ(json.Exit, 0) << json.Err;
    const auto conversations = nlohmann::ordered_json::parse(json.Out);
    ASSERT_EQ(conversations.size(), 3u);
    EXPECT_EQ(conversations[0]["displayName"], "+447700900123");
    EXPECT_EQ(conversations[2]["isGroupChat"], true);
    EXPECT_EQ(conversations[2]["addresses"], " +447700900123, bea@example.com, +447700900789");
    ASSERT_EQ(conversations[2]["messages"].size(), 3u); // two of them only in the WAL
    const auto& tickets = conversations[1]["messages"][0];
    EXPECT_EQ(tickets["text"], "Here are the tickets ");
    EXPECT_EQ(tickets["fullText"], "Here are the tickets application/pdf");
    EXPECT_EQ(tickets["date"], "2024-06-13T19:41:40+00:00"); // nanoseconds since 2001
    EXPECT_EQ(tickets["parts"][0].dump(),
              "{\"rowId\":1,\"kind\":2,\"fileName\":\"~/Library/SMS/Attachments/4f/"
              "15/tickets.pdf\",\"content\":\"application/pdf\",\"mimeType\":\"application/pdf\","
              "\"transferName\":null,\"totalBytes\":0,\"inBackup\":true,\"hidden\":false}");
    EXPECT_EQ(conversations[2]["messages"][1]["senderIndex"], 2);
    const TRun lines = Run("messages 2 " + PasswordFile());
    EXPECT_EQ(lines.Out.substr(0, lines.Out.find('\n')), "== +447700900123 (+447700900123, 2 messages)");
}

// Today's rows as JSON, written one message per line, and as lines.
TEST_F(CliCategories, TodaysConversationAsJsonAndLines) {
    TBackupPlan plan;
    plan.FolderName = "zz-today";
    test::ExecSql(FWork.Path() + "today.db", test::NewSmsSql(test::TodaysSms()));
    std::string db;
    ASSERT_TRUE(ReadWholeFile(FWork.Path() + "today.db", db));
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", db),
                  TTestFile("MediaDomain", "Library/SMS/Attachments/01/IMG_0001.jpeg", "jpeg bytes")};
    test::WriteBackup(FRoot.Path(), plan);
    const TRun json = Run("messages 3 --json");
    ASSERT_EQ(json.Exit, 0) << json.Err;
    EXPECT_EQ(json.Out.substr(0, 40), "[\n  {\"displayName\":\"Trip\",\"addresses\":\" "); // streamed
    const auto conversations = nlohmann::ordered_json::parse(json.Out);
    ASSERT_EQ(conversations.size(), 2u);
    const auto& trip = conversations[0];
    EXPECT_EQ(trip["groupName"], "Trip");
    EXPECT_EQ(conversations[1]["groupName"], nullptr);
    EXPECT_EQ(
        trip["messages"][0].dump(),
        "{\"rowId\":1,\"date\":\"2023-03-08T20:27:40+00:00\",\"text\":\"See you at 7\",\"fullText\":\"See "
        "you at "
        "7\",\"isSent\":false,\"isIMessage\":true,\"senderIndex\":0,\"parts\":[],\"guid\":\"G1\",\"kind\":"
        "\"message\",\"reactions\":[{\"type\":\"love\",\"emoji\":null,\"fromMe\":false,\"sender\":\"+"
        "447700900002\",\"date\":\"2023-03-08T20:29:40+00:00\",\"parts\":[]}],\"edited\":false,\"edits\":[],"
        "\"unsent\":"
        "false,\"replyTo\":null,\"deleted\":false,\"event\":null,\"sender\":\"+447700900001\"}");
    // The sticker placed on "Great" is among its reactions, with its picture.
    EXPECT_EQ(trip["messages"][1]["reactions"][1].dump(),
              "{\"type\":\"sticker\",\"emoji\":null,\"fromMe\":false,\"sender\":\"<b>Sam & "
              "Co</b>\",\"date\":\"2023-03-08T20:42:40+00:00\",\"parts\":[{\"rowId\":3,\"kind\":2,"
              "\"fileName\":\"~/Library/SMS/Attachments/03/sticker.png\",\"content\":\"image/png\","
              "\"mimeType\":\"image/png\",\"transferName\":\"sticker.png\",\"totalBytes\":900,"
              "\"inBackup\":false,\"hidden\":false}]}");
    EXPECT_EQ(
        trip["messages"][3].dump(),
        "{\"rowId\":8,\"date\":\"2023-03-08T20:34:40+00:00\",\"text\":\"Meet at 8\",\"fullText\":\"Meet at "
        "8\",\"isSent\":true,\"isIMessage\":true,\"senderIndex\":0,\"parts\":[],\"guid\":\"G8\",\"kind\":"
        "\"message\",\"reactions\":[],\"edited\":true,\"edits\":[{\"date\":\"2023-03-08T20:34:40+00:00\","
        "\"text\":\"Meet at 6\"},{\"date\":\"2023-03-08T20:35:10+00:00\",\"text\":\"Meet at "
        "7\"}],\"unsent\":false,\"replyTo\":null,\"deleted\":false,\"event\":null,\"sender\":null}");
    EXPECT_EQ(trip["messages"][4].dump(),
              "{\"rowId\":9,\"date\":\"2023-03-08T20:35:40+00:00\",\"text\":\"\",\"fullText\":\"\","
              "\"isSent\":false,\"isIMessage\":true,\"senderIndex\":0,\"parts\":[],\"guid\":\"G9\",\"kind\":"
              "\"message\",\"reactions\":[],\"edited\":false,\"edits\":[],\"unsent\":true,\"replyTo\":null,"
              "\"deleted\":false,\"event\":null,\"sender\":\"+447700900001\"}");
    EXPECT_EQ(
        trip["messages"][5].dump(),
        "{\"rowId\":10,\"date\":\"2023-03-08T20:36:40+00:00\",\"text\":\"Fine by me\",\"fullText\":\"Fine by "
        "me\",\"isSent\":false,\"isIMessage\":true,\"senderIndex\":2,\"parts\":[],\"guid\":\"G10\",\"kind\":"
        "\"message\",\"reactions\":[],\"edited\":false,\"edits\":[],\"unsent\":false,\"replyTo\":\"G8\","
        "\"deleted\":false,\"event\":null,\"sender\":\"<b>Sam & Co</b>\"}");
    EXPECT_EQ(
        trip["messages"][7].dump(),
        "{\"rowId\":12,\"date\":\"2023-03-08T20:38:40+00:00\",\"text\":\"\",\"fullText\":\"\",\"isSent\":"
        "true,\"isIMessage\":true,\"senderIndex\":0,\"parts\":[],\"guid\":\"G12\",\"kind\":\"event\","
        "\"reactions\":[],\"edited\":false,\"edits\":[],\"unsent\":false,\"replyTo\":null,\"deleted\":false,"
        "\"event\":{\"type\":\"renamed\",\"other\":null,\"name\":\"Trip\"},\"sender\":null}");
    EXPECT_EQ(
        trip["messages"][10].dump(),
        "{\"rowId\":15,\"date\":\"2023-03-08T20:41:40+00:00\",\"text\":\"\",\"fullText\":\"image/jpegaudio/"
        "x-caf\",\"isSent\":false,\"isIMessage\":true,\"senderIndex\":0,\"parts\":[{\"rowId\":1,\"kind\":2,"
        "\"fileName\":\"~/Library/SMS/Attachments/01/IMG_0001.jpeg\",\"content\":\"image/"
        "jpeg\",\"mimeType\":\"image/"
        "jpeg\",\"transferName\":\"IMG_0001.jpeg\",\"totalBytes\":2048,\"inBackup\":true,\"hidden\":false},{"
        "\"rowId\":2,"
        "\"kind\":2,\"fileName\":\"~/Library/SMS/Attachments/02/Audio "
        "Message.caf\",\"content\":\"audio/x-caf\",\"mimeType\":\"audio/x-caf\",\"transferName\":\"Audio "
        "Message.caf\",\"totalBytes\":31000,\"inBackup\":false,\"hidden\":false},{\"rowId\":4,\"kind\":2,"
        "\"fileName\":\"~/Library/SMS/Attachments/04/link.pluginPayloadAttachment\",\"content\":\"\","
        "\"mimeType\":null,\"transferName\":null,\"totalBytes\":700,\"inBackup\":false,\"hidden\":true}],"
        "\"guid\":\"G15\",\"kind\":\"message\","
        "\"reactions\":[],\"edited\":false,\"edits\":[],\"unsent\":false,\"replyTo\":null,\"deleted\":false,"
        "\"event\":null,\"sender\":\"+447700900001\"}");
    // The lines mark a reply with the line it quotes; the timeline names an unsent message.
    const std::string lines = Run("messages 3").Out;
    EXPECT_NE(lines.find("\t>>\t<b>Sam & Co</b>: Fine by me\t[Reply to \u201cMeet at 8\u201d]\n"),
              std::string::npos)
        << lines;
    EXPECT_EQ(Run("timeline 3 --from 2023-03-08T20:35Z --to 2023-03-08T20:37Z").Out,
              "03/08/23 20:35:40\tmessages\tTrip\tUnsent\n03/08/23 20:36:40\tmessages\tTrip\tFine by me\n");
}

TEST_F(CliCategories, ADamagedDatabaseEndsWith66AndSaysWhy) {
    TBackupPlan plan;
    plan.FolderName = "zz-zdamaged";
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "not a database at all")};
    test::WriteBackup(FRoot.Path(), plan);
    const TRun run = Run("messages 3 --json");
    EXPECT_EQ(run.Exit, 66);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "Library/SMS/sms.db: file is not a database\n"); // which database and why, one line
    EXPECT_EQ(Run("files 3").Exit, 0);                                  // the backup itself is fine
}

// Databases of a plain backup changed by hostile SQL after the device wrote them.
class CliHostileDatabases : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        FPlan.FolderName = "zz-hostile";
        test::AddDemoContacts(FWork.Path(), test::TDemoGeneration::Mid, FPlan.Files);
        test::AddDemoMessages(FWork.Path(), test::TDemoGeneration::Mid, FPlan.Files);
    }
    void Alter(const std::string& devicePath, const std::string& sql) {
        for (TTestFile& file : FPlan.Files) {
            if (file.Path == devicePath) {
                const std::string path = FWork.Path() + "altered.db";
                std::filesystem::remove(path);
                ASSERT_TRUE(WriteWholeFile(path, file.Content));
                test::ExecSql(path, sql);
                ASSERT_TRUE(ReadWholeFile(path, file.Content));
            }
        }
    }
    TBackupPlan FPlan;
};

TEST_F(CliHostileDatabases, DatesOutsideTheYears1To9999AreNoDate) {
    Alter("Library/SMS/sms.db", "UPDATE message SET date = 1e30 WHERE ROWID = 1");
    Alter("Library/AddressBook/AddressBook.sqlitedb",
          "UPDATE ABPerson SET Birthday = 1e30 WHERE ROWID = 1; UPDATE ABPerson SET Birthday = 252423907200 "
          "WHERE ROWID = 2; UPDATE ABPerson SET Birthday = 252423993600 WHERE ROWID = 3");
    test::WriteBackup(FRoot.Path(), FPlan);
    const auto conversations = nlohmann::ordered_json::parse(Run("messages 2 --json").Out);
    EXPECT_EQ(conversations[0]["messages"][0]["date"], nullptr);
    EXPECT_EQ(conversations[0]["messages"][1]["date"], "2015-11-23T19:34:20+00:00");
    const auto contacts = nlohmann::ordered_json::parse(Run("contacts 2 --json").Out);
    EXPECT_EQ(contacts[0]["birthday"], nullptr);
    EXPECT_EQ(contacts[1]["birthday"], "9999-12-31"); // the last day that is a date
    EXPECT_EQ(contacts[2]["birthday"], nullptr);
    const TRun vcards = Run("export 2 contacts " + Quote(FWork.Path() + "cards") + " --format 1");
    ASSERT_EQ(vcards.Exit, 0) << vcards.Err;
    const std::string cards = test::FileText(FWork.Path() + "cards/Test iPhone_Contact.vcf");
    EXPECT_EQ(cards.find("BDAY:"), cards.find("BDAY:9999-12-31\r\n")) << cards;
    EXPECT_EQ(cards.find("BDAY:", cards.find("BDAY:") + 1), std::string::npos);
}

// A view where the message table belongs, over a query that never ends: refused, not run.
TEST_F(CliHostileDatabases, AMessageViewOverAnEndlessQueryFailsTheCategory) {
    Alter(
        "Library/SMS/sms.db",
        "DROP TABLE message; CREATE VIEW message AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n) SELECT i AS ROWID, 'x' AS text, 1 AS handle_id, i AS date, 0 AS is_from_me FROM n");
    test::WriteBackup(FRoot.Path(), FPlan);
    const TRun run = Run("messages 2");
    EXPECT_EQ(run.Exit, 66);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "Library/SMS/sms.db: \"message\" is a view, not a table\n");
    EXPECT_EQ(Run("contacts 2 --json").Exit, 0);
}

// Reading one contact's full picture fails with a hostile text in SQLite's error: the contacts stand,
// the picture is missing, and the text is escaped on stderr as everywhere.
TEST_F(CliHostileDatabases, APictureThatCannotBeReadLeavesTheContactsStanding) {
    Alter("Library/AddressBook/AddressBookImages.sqlitedb",
          "DROP TABLE ABFullSizeImage; CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY, record_id "
          "INTEGER); INSERT INTO ABFullSizeImage (record_id) VALUES (1); ALTER TABLE ABFullSizeImage ADD "
          "COLUMN data AS (json_extract('{}', '$' || char(27) || ']0;pwned' || char(7)))");
    test::WriteBackup(FRoot.Path(), FPlan);
    const std::string why =
        "Library/AddressBook/AddressBookImages.sqlitedb: JSON path error near '\\x1b]0;pwned\\x07'\n";
    const TRun json = Run("contacts 2 --json");
    ASSERT_EQ(json.Exit, 0) << json.Err;
    const auto contacts = nlohmann::ordered_json::parse(json.Out);
    ASSERT_EQ(contacts.size(), 5u);
    EXPECT_EQ(contacts[0]["hasThumbnail"], true);
    EXPECT_EQ(contacts[0]["hasPhoto"], false);
    EXPECT_EQ(json.Err, "warning: " + why);
    const std::string out = FWork.Path() + "photos/";
    const TRun photos = Run("export 2 contacts " + Quote(out) + " --format 3");
    EXPECT_EQ(photos.Exit, 65);
    EXPECT_EQ(photos.Out, "0 exported\n" + out + "\n");
    EXPECT_EQ(photos.Err, "failed: " + out + "Taylor Anna.jpg: " + why);
}

class CliContacts : public CliCategories {
protected:
    bool WithContacts() const override { return true; }
};

TEST_F(CliContacts, ContactsAndTheNamesTheyGiveConversationsAndCalls) {
    const TRun json = Run("contacts 2 --json " + PasswordFile());
    ASSERT_EQ(json.Exit, 0) << json.Err;
    const auto contacts = nlohmann::ordered_json::parse(json.Out);
    ASSERT_EQ(contacts.size(), 5u); // the fifth only in the WAL
    const auto& anna = contacts[0];
    EXPECT_EQ(anna["rowId"], 1);
    EXPECT_EQ(anna["displayName"], "Taylor Anna");
    EXPECT_EQ(anna["birthday"], "2006-09-15");
    EXPECT_EQ(anna["hasThumbnail"], true);
    EXPECT_EQ(anna["hasPhoto"], true);
    ASSERT_EQ(anna["multiValues"].size(), 3u);
    EXPECT_EQ(anna["multiValues"][0].dump(), "{\"property\":3,\"identifier\":0,\"label\":1,\"labelText\":"
                                             "\"Mobile\",\"value\":\"+44 7700 900123\",\"valueText\":\"+44 "
                                             "7700 900123\"}");
    EXPECT_EQ(anna["multiValues"][2]["entries"][2].dump(), "{\"key\":\"ZIP\",\"value\":\"BN1 2AB\"}");
    EXPECT_EQ(contacts[4]["organization"], "City Dental Practice");
    EXPECT_EQ(contacts[4]["displayName"], "");
    EXPECT_EQ(contacts[4]["birthday"], nullptr);

    const auto calls = nlohmann::ordered_json::parse(Run("calls 2 --json " + PasswordFile()).Out);
    EXPECT_EQ(calls[0]["displayName"], "Taylor Anna");
    EXPECT_EQ(calls[2]["displayName"], "bea@example.com"); // only numbers are looked up
    const auto conversations = nlohmann::ordered_json::parse(Run("messages 2 --json " + PasswordFile()).Out);
    EXPECT_EQ(conversations[0]["displayName"], "Taylor Anna");
    EXPECT_EQ(conversations[2]["displayName"], "Taylor Anna, bea@example.com and 1 more");
    EXPECT_EQ(Run("contacts 0").Out, ""); // no address book: nothing, exit 0
}

TEST_F(CliContacts, CalendarNotesSafariAndVoicemail) {
    const auto calendar = nlohmann::ordered_json::parse(Run("calendar 2 --json " + PasswordFile()).Out);
    ASSERT_EQ(calendar.size(), 4u);
    EXPECT_EQ(calendar[2].dump(),
              "{\"title\":\"Team meeting\",\"location\":\"Room 4.2\",\"description\":\"URL: "
              "https://meet.example/q3\\r\\nQuarterly review\",\"allDay\":false,\"calendarId\""
              ":1,\"start\":\"2024-06-16T03:06:40+00:00\",\"end\":\"2024-06-16T04:06:40+00:00\"}");
    const TRun shut = Run("notes 2 --json " + PasswordFile());
    EXPECT_EQ(shut.Err, "Locked notes not opened: 1; give their password with --notes-password-file or "
                        "KESTROW_NOTES_PASSWORD.\n");
    const auto notes = nlohmann::ordered_json::parse(shut.Out);
    ASSERT_EQ(notes.size(), 4u);
    // NoteStore.sqlite: the text (its first line the title) from gzipped protobuf, escaped for the body.
    EXPECT_EQ(notes[1]["body"], "Gift ideas<br>Anna: a scarf<br>Chlo\u00e9: concert tickets");
    EXPECT_EQ(notes[1]["text"], "Gift ideas\r\nAnna: a scarf\r\nChlo\u00e9: concert tickets");
    EXPECT_EQ(notes[1]["modified"], "2024-06-13T20:56:40+00:00");
    EXPECT_EQ(notes[2]["text"], "(locked note)");
    EXPECT_EQ(notes[0]["text"], "Shopping list\r\n[x] Milk\r\n[ ] Eggs & flour\r\n[ ] Coffee");
    auto shopping = notes[0];
    shopping.erase(std::string("body"));
    shopping.erase(std::string("text"));
    EXPECT_EQ(shopping.dump(),
              "{\"title\":\"Shopping list\",\"modified\":\"2024-06-13T19:33:20+00:00\",\"folder\":"
              "\"Notes\",\"account\":\"iCloud\",\"created\":\"2024-06-02T05:46:40+00:00\",\"pinned\":"
              "true,\"deleted\":false,\"locked\":false,\"unlocked\":false,\"attachments\":[]}");
    EXPECT_EQ(notes[3]["deleted"], true);
    EXPECT_EQ(
        notes[3]["attachments"].dump(),
        "[{\"type\":\"picture\",\"name\":\"view.jpg\",\"key\":\"Accounts/ACC-1/Media/MED-1/1_a/view.jpg\","
        "\"inBackup\":true},{\"type\":\"picture\",\"name\":\"garden.jpg\",\"key\":null,\"inBackup\":false},"
        "{\"type\":\"table\",\"name\":\"\",\"key\":null,\"inBackup\":true}]");
    // The published locked note, opened by the second candidate of the file or by the environment.
    ASSERT_TRUE(WriteWholeFile(FWork.Path() + "notes-pw", "wrong\r\npassword\n"));
    const TRun opened = Run("notes 2 --json --notes-password-file " + Quote(FWork.Path() + "notes-pw") + " " +
                            PasswordFile());
    EXPECT_EQ(opened.Err, "");
    const auto unlocked = nlohmann::ordered_json::parse(opened.Out);
    EXPECT_EQ(unlocked[2]["text"], "Encrypted title\r\n\r\nEncrypted body");
    EXPECT_EQ(unlocked[2]["unlocked"], true);
    const TRun fromEnv = Run("notes 2 " + PasswordFile(), "KESTROW_NOTES_PASSWORD=password");
    // Each line: date, title, folder, text.
    EXPECT_NE(
        fromEnv.Out.find("\tEncrypted title\tNotes\tEncrypted title\\x0d\\x0a\\x0d\\x0aEncrypted body\n"),
        std::string::npos);
    EXPECT_NE(fromEnv.Out.find("\tCottage\tRecently Deleted\tCottage\\x0d"), std::string::npos)
        << fromEnv.Out;
    EXPECT_EQ(Run("notes 2 " + PasswordFile(), "KESTROW_NOTES_PASSWORD=nope").Err,
              "Note 2 \"Encrypted title\": Wrong password for this note.\n");
    const auto safari = nlohmann::ordered_json::parse(Run("safari 2 --json " + PasswordFile()).Out);
    ASSERT_EQ(safari["bookmarks"].size(), 7u);
    EXPECT_EQ(safari["bookmarks"][5].dump(),
              "{\"title\":\"Trains\",\"url\":\"https://trains.example/timetable\","
              "\"isFolder\":false,\"parent\":3,\"folderPath\":\"BookmarksBar\\\\Travel\"}");
    // History.db: one row per page, with its latest visit.
    ASSERT_EQ(safari["history"].size(), 2u);
    EXPECT_EQ(safari["history"][0].dump(),
              "{\"title\":\"News \u2013 evening edition\",\"url\":\"https://news.example/\","
              "\"date\":\"2024-06-13T19:36:40.500+00:00\"}");
    const auto voicemail = nlohmann::ordered_json::parse(Run("voicemail 2 --json " + PasswordFile()).Out);
    ASSERT_EQ(voicemail.size(), 3u);
    EXPECT_EQ(voicemail[0].dump(),
              "{\"rowId\":1,\"sender\":\"+447700900456\",\"displayName\":\"Okafor Ben\","
              "\"date\":\"2024-06-13T17:33:20+00:00\",\"duration\":14,\"durationText\":\"0:14\","
              "\"flags\":3,\"audioPath\":\"Library/Voicemail/1.amr\",\"audioInBackup\":true}");
    EXPECT_EQ(voicemail[2]["audioInBackup"], false);
    EXPECT_EQ(Run("calendar 0 --json").Out, "[]\n");
    EXPECT_EQ(Run("safari 0 --json").Out, "{\n  \"bookmarks\": [],\n  \"history\": []\n}\n");
}

TEST_F(CliContacts, SearchLeadsBackToTheRecordAndTheTimelineKeepsToItsDates) {
    const TRun found = Run("search 2 CANDLES --json " + PasswordFile());
    ASSERT_EQ(found.Exit, 0) << found.Err;
    const auto hits = nlohmann::ordered_json::parse(found.Out);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].dump(),
              "{\"category\":\"messages\",\"date\":\"2024-06-13T22:06:40+00:00\",\"record\":2,"
              "\"rowId\":7,\"where\":\"Taylor Anna, bea@example.com and 1 more\",\"field\":\"text\","
              "\"snippet\":\"Perfect, I'll bring \u00abcandles\u00bb.\"}");
    const auto conversations = nlohmann::ordered_json::parse(Run("messages 2 --json " + PasswordFile()).Out);
    const auto& messages = conversations[hits[0]["record"].get<std::size_t>()]["messages"];
    const auto message = std::find_if(messages.begin(), messages.end(),
                                      [&](const auto& m) { return m["rowId"] == hits[0]["rowId"]; });
    ASSERT_NE(message, messages.end());
    EXPECT_EQ((*message)["text"], "Perfect, I'll bring candles.");
    EXPECT_EQ(Run("search 2 7700-900-456 --category voicemail " + PasswordFile()).Out,
              "voicemail\t06/13/24 17:33:20\tOkafor Ben\t+44\u00ab7700900456\u00bb\n");

    // A locked note's body is searched once its password is given.
    const TRun shut = Run("search 2 'encrypted body' " + PasswordFile());
    EXPECT_EQ(shut.Out, "");
    EXPECT_EQ(shut.Err, "Locked notes not opened: 1; give their password with --notes-password-file or "
                        "KESTROW_NOTES_PASSWORD.\n");
    EXPECT_EQ(
        Run("search 2 'encrypted body' --category notes " + PasswordFile(), "KESTROW_NOTES_PASSWORD=password")
            .Out,
        "notes\t06/13/24 22:03:20\tEncrypted title\t\u00abEncrypted\u00bb title    \u00abEncrypted\u00bb "
        "\u00abbody\u00bb\n");

    const TRun day = Run("timeline 2 --from 2024-06-14 --to 2024-06-15 " + PasswordFile());
    EXPECT_EQ(day.Out, "06/14/24 19:33:20\tcalendar\tDentist\tDentist City Dental Practice\n"
                       "06/15/24 19:33:20\tcalendar\tAnna's birthday\tAnna's birthday\n");
    EXPECT_EQ(Run("timeline 2 --from yesterday").Exit, 64);
    EXPECT_EQ(Run("search 2 x --category mail").Exit, 64);

    // CSV: a new file, never over another and never inside a backup.
    const std::string csv = FWork.Path() + "hits.csv";
    const TRun written = Run("search 2 anna --csv " + Quote(csv) + " " + PasswordFile());
    ASSERT_EQ(written.Exit, 0) << written.Err;
    EXPECT_EQ(written.Out, "6 exported\n" + csv + "\n");
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(csv, bytes));
    EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF"
                                  "Category,Date,Where,Field,Record,Row id,Snippet\r\ncalendar,"))
        << bytes;
    EXPECT_EQ(Run("search 2 anna --csv " + Quote(csv) + " " + PasswordFile()).Exit, 65);
    const TRun inside =
        Run("timeline 2 --csv " + Quote(FRoot.Path() + "zz-data/t.csv") + " " + PasswordFile());
    EXPECT_EQ(inside.Exit, 65);
    EXPECT_FALSE(FileExists(FRoot.Path() + "zz-data/t.csv"));
}

TEST_F(CliContacts, ExportWritesACategoryInAFormatAndSaysWhere) {
    const std::string out = FWork.Path() + "exports/";
    const TRun notes = Run("export 2 notes " + Quote(out + "notes") + " " + PasswordFile());
    ASSERT_EQ(notes.Exit, 0) << notes.Err;
    EXPECT_EQ(notes.Out, "4 exported\n" + out + "notes/\n"); // the locked note listed as locked
    EXPECT_TRUE(FileExists(out + "notes/Test iPhone_Notes.txt"));
    // A page per note, pictures beside it; a locked note that stays locked is not written.
    const TRun pages = Run("export 2 notes " + Quote(out + "pages") + " --format 1 " + PasswordFile());
    EXPECT_EQ(pages.Exit, 65);
    EXPECT_EQ(pages.Out, "3 exported\n" + out + "pages/\n");
    EXPECT_EQ(pages.Err,
              "Locked notes not opened: 1; give their password with --notes-password-file or "
              "KESTROW_NOTES_PASSWORD.\nfailed: Encrypted title (locked note): Permission denied\n");
    std::string page;
    ASSERT_TRUE(ReadWholeFile(out + "pages/Cottage.html", page));
    EXPECT_NE(
        page.find("<h1>Cottage</h1>View <img src=\"Cottage_files/1.jpg\" alt=\"view.jpg\"><br>Garden <span "
                  "class=\"att\">[garden.jpg] (not in the backup)</span><br><table "
                  "class=\"nt\"><tr><td>Room</td><td>Beds</td></tr><tr><td>Loft</td><td>2</td></tr></table>"),
        std::string::npos);
    EXPECT_TRUE(FileExists(out + "pages/Cottage_files/1.jpg"));
    EXPECT_FALSE(PathExists(out + "pages/Gift ideas_files"));
    const TRun allPages = Run("export 2 notes " + Quote(out + "all") + " --format html " + PasswordFile(),
                              "KESTROW_NOTES_PASSWORD=password");
    EXPECT_EQ(allPages.Out, "4 exported\n" + out + "all/\n");
    EXPECT_TRUE(FileExists(out + "all/Encrypted title.html"));

    // Formats by code or by the start of their text; rows in the order given.
    const TRun calls =
        Run("export 2 calls " + Quote(out + "calls") + " --format csv --rows 1,0 " + PasswordFile());
    ASSERT_EQ(calls.Exit, 0) << calls.Err;
    std::string csv;
    ASSERT_TRUE(ReadWholeFile(out + "calls/Test iPhone_CallHistory.csv", csv));
    EXPECT_EQ(csv, "\xEF\xBB\xBF"
                   "Date,Dial,Missed,Facetime,Duration,Number,Name\r\n"
                   "06/13/24 18:43:20,,Yes,,0:00,+447700900456,\"Okafor Ben\"\r\n"
                   "06/13/24 18:26:40,Yes,,,1:35,+447700900123,\"Taylor Anna\"\r\n");
    const TRun contacts =
        Run("export 2 contacts " + Quote(out + "contacts") + " --format 1 " + PasswordFile());
    EXPECT_EQ(contacts.Out, "5 exported\n" + out + "contacts/\n");
    EXPECT_TRUE(FileExists(out + "contacts/Test iPhone_Contact.vcf"));

    // A record that cannot be written: the others are, each failure is said, exit 65.
    const TRun voicemail = Run("export 2 voicemail " + Quote(out + "vm") + " " + PasswordFile());
    EXPECT_EQ(voicemail.Exit, 65);
    EXPECT_EQ(voicemail.Out, "2 exported\n" + out + "vm/\n");
    EXPECT_EQ(voicemail.Err,
              "failed: " + out + "vm/+442079460321~06_13_24 20_03_20.amr: not in the backup\n");

    // Files by key, from standard input or a file.
    ASSERT_TRUE(WriteWholeFile(FWork.Path() + "keys", "Library/Voicemail/1.amr\nLibrary/Voicemail/2.amr\n"));
    const TRun files = Run("export 2 files " + Quote(out + "files") + " --format 'files w' --rows " +
                           Quote(FWork.Path() + "keys") + " " + PasswordFile());
    EXPECT_EQ(files.Out, "2 exported\n" + out + "files/\n");
    EXPECT_TRUE(FileExists(out + "files/Library/Voicemail/2.amr"));

    // Requests that name nothing: 64, with what would have been right.
    const TRun category = Run("export 2 pictures " + Quote(out) + " " + PasswordFile());
    EXPECT_EQ(category.Exit, 64);
    EXPECT_EQ(category.Err,
              "Unknown category \"pictures\"; one of contacts, messages, calls, notes, calendar, "
              "safari, voicemail, files, photos.\n");
    const TRun format = Run("export 2 notes " + Quote(out) + " --format pdf " + PasswordFile());
    EXPECT_EQ(format.Exit, 64);
    EXPECT_EQ(format.Err,
              "--format \"pdf\" names no single format of notes:\n  0 Text\n  1 HTML - Web page\n");
    const TRun rows = Run("export 2 calls " + Quote(out) + " --rows 0,9 " + PasswordFile());
    EXPECT_EQ(rows.Exit, 64);
    EXPECT_EQ(rows.Err, "--rows: \"9\" is no record index (0 to 3).\n");
    const TRun missing = Run("export 2 files " + Quote(out) + " --rows " + Quote(FWork.Path() + "none") +
                             " " + PasswordFile());
    EXPECT_EQ(missing.Exit, 64);
    // A backup without the category: nothing to export, said as the views say it.
    EXPECT_EQ(Run("export 0 notes " + Quote(out + "none")).Out, "No note to export.\n");
    EXPECT_FALSE(PathExists(out + "none"));
}

// A command started in the background with its password coming through a FIFO, so that a signal
// can be sent at a known point: while the command waits for the password.
class CliSignals : public Cli {
protected:
    pid_t Start(const std::string& args) {
        FFifo = FWork.Path() + "fifo";
        ::mkfifo(FFifo.c_str(), 0600);
        MakeFolders(FTmp.Path() + "t");
        const std::string command =
            "exec " +
            Command("--password-file " + Quote(FFifo) + " " + args, "TMPDIR=" + Quote(FTmp.Path() + "t")) +
            " >/dev/null 2>" + Quote(FWork.Path() + "err");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // The session exists (its private folder is made) before the password is read.
        for (int i = 0; i < 1000 && std::filesystem::is_empty(FTmp.Path() + "t"); ++i) {
            ::usleep(10000);
        }
        ::usleep(100000);
        return pid;
    }
    int Wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string FFifo;
    TTempFolder FTmp;
};

TEST_F(CliSignals, TermWhileBlockedRemovesThePrivateFolder) {
    const pid_t pid = Start("extract-all 1 " + Quote(FWork.Path() + "out"));
    ASSERT_FALSE(std::filesystem::is_empty(FTmp.Path() + "t"));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 143);
    EXPECT_TRUE(std::filesystem::is_empty(FTmp.Path() + "t"));
    EXPECT_FALSE(PathExists(FWork.Path() + "out"));
}

TEST_F(CliSignals, InterruptStopsTheExtractionCleanly) {
    const pid_t pid = Start("extract-all 1 " + Quote(FWork.Path() + "out"));
    ::kill(pid, SIGINT);
    {
        std::ofstream fifo(FFifo); // the command goes on and meets the stop request
        fifo << "pässword\n";
    }
    EXPECT_EQ(Wait(pid), 130);
    EXPECT_TRUE(std::filesystem::is_empty(FTmp.Path() + "t"));
    if (FolderExists(FWork.Path() + "out")) {
        EXPECT_TRUE(std::filesystem::is_empty(FWork.Path() + "out"));
    }
    std::string err;
    ReadWholeFile(FWork.Path() + "err", err);
    EXPECT_NE(err.find("Stopped after 0 of 3 files."), std::string::npos) << err;
}

} // namespace
} // namespace kestrow

namespace kestrow {
namespace {

TEST_F(Cli, PhotosAsLinesAndJsonAndExportedByMonth) {
    TBackupPlan plan;
    plan.FolderName = "zz-photos";
    test::AddDemoPhotos(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
    test::WriteBackup(FRoot.Path(), plan);
    const TRun lines = Run("photos 2");
    ASSERT_EQ(lines.Exit, 0) << lines.Err;
    EXPECT_EQ(lines.Out.substr(lines.Out.find("06/02/23")),
              "06/02/23 19:30:00\tIMG_0002.JPG\t758\tJPG\t45.75780, 4.83200\n"
              "06/03/23 15:33:20\tIMG_0002.JPG\t13\tJPG\t-\n"
              "06/04/23 19:20:00\tIMG_0004.MOV\t0\tMOV\t- (not in the backup)\n");
    const TRun json = Run("photos 2 --json");
    ASSERT_EQ(json.Exit, 0) << json.Err;
    auto items = nlohmann::ordered_json::parse(json.Out);
    ASSERT_EQ(items.size(), 5u);
    items[1].erase("size");
    EXPECT_EQ(
        items[1].dump(),
        "{\"key\":\"Media/DCIM/105APPLE/IMG_0001.HEIC\",\"name\":\"IMG_0001.HEIC\","
        "\"date\":\"2023-06-01T10:00:00+02:00\",\"type\":\"HEIC\",\"width\":64,\"height\":48,"
        "\"duration\":0.0,\"latitude\":48.8584,\"longitude\":2.2945,\"favorite\":true,\"hidden\":false,"
        "\"trashed\":false,\"albums\":[\"Holidays\"],\"livePhotoKey\":\"Media/DCIM/105APPLE/IMG_0001.MOV\","
        "\"inBackup\":true}");
    const std::string out = FWork.Path() + "out/";
    const TRun exported = Run("export 2 photos " + Quote(out) + " --format JPEG --by-month");
    EXPECT_EQ(exported.Exit, 65);
    EXPECT_EQ(exported.Out, "4 exported\n" + out + "\n");
    EXPECT_EQ(exported.Err, "failed: " + out + "2023/06/IMG_0004.MOV: No such file or directory\n");
    EXPECT_TRUE(FileExists(out + "2023/06/IMG_0001.jpg"));
}

} // namespace
} // namespace kestrow
