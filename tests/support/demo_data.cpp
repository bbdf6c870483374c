#include "support/demo_data.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "support/calendar_writer.h"
#include "support/call_writer.h"
#include "support/contacts_writer.h"
#include "support/current_stores_writer.h"
#include "support/notes_writer.h"
#include "support/picture_writer.h"
#include "support/plist_writer.h"
#include "support/safari_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"
#include "support/voicemail_writer.h"

namespace kestrow::test {

namespace {

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void AddDatabase(const std::string& path, const std::string& sql, const std::string& devicePath,
                 std::vector<TTestFile>& files) {
    std::remove(path.c_str());
    ExecSql(path, sql);
    files.emplace_back("HomeDomain", devicePath, Bytes(path));
}

const std::string kJpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xD9", 22);

TOldSmsDb OldSms() {
    TOldSmsDb db;
    db.Members = {{1, "+44 7700 900123"},
                  {2, "+44 7700 900456"},
                  {3, "+44 7700 900123"},
                  {3, "+44 7700 900789"},
                  {3, "+44 7700 900456"}};
    const std::int64_t t = 1336637000; // May 2012
    db.Messages = {
        {1, 1, t, std::string("Are we still on for Saturday?"), 2},
        {2, 1, t + 95, std::string("Yes! 7pm at the usual place."), 3},
        {3, 1, t + 160, std::string("Great, see you there \xF0\x9F\x98\x8A"), 2},
        {4, 2, t + 3600, std::string("Your parcel will arrive tomorrow between 9:00 and 13:00."), 2},
        {5, 3, t + 7200, std::nullopt, 2},
        {6, 3, t + 7300, std::string("Lovely picture!"), 3},
        {7, 0, 358000000, std::string("Sent over iMessage"), 0, 1, "", "+44 7700 900123", 4},
    };
    db.Pieces = {{1, 5, 0, "application/smil", std::string("<smil/>")},
                 {2, 5, 1, "text/plain", std::string("Holiday photo from the beach")},
                 {3, 5, 2, "image/jpeg", kJpeg}};
    return db;
}

TNewSmsDb NewSms(bool nanoseconds) {
    TNewSmsDb db;
    db.Handles = {{1, "+447700900123"}, {2, "+447700900456"}, {3, "bea@example.com"}, {4, "+447700900789"}};
    db.Chats = {{1, 45, "+447700900123"},
                {2, 45, "bea@example.com", "iMessage"},
                {3, 43, "chat493817265", "iMessage"}};
    db.ChatHandles = {{1, 1}, {2, 3}, {3, 1}, {3, 3}, {3, 4}};
    const std::int64_t unit = nanoseconds ? 1'000'000'000 : 1;
    const std::int64_t t = nanoseconds ? 740000000 : 470000000;
    db.Messages = {
        {1, std::string("Running ten minutes late, sorry!"), 1, t * unit},
        {2, std::string("No problem, I'll grab a table."), 1, (t + 60) * unit, true},
        {3, std::string("Here are the tickets \xEF\xBF\xBC"), 3, (t + 500) * unit, false, "iMessage"},
        {4, std::string("Thanks Bea!"), 3, (t + 560) * unit, true, "iMessage"},
        {5, std::string("Who's bringing the cake?"), 1, (t + 9000) * unit, false, "iMessage",
         "chat493817265"},
        {6, std::string("I will \xF0\x9F\x8E\x82"), 4, (t + 9100) * unit, false, "iMessage", "chat493817265"},
        {7, std::string("Perfect, I'll bring candles."), 0, (t + 9200) * unit, true, "iMessage",
         "chat493817265"},
    };
    db.ChatMessages = {{1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 5}, {3, 6}, {3, 7}};
    db.Attachments = {{1, "~/Library/SMS/Attachments/4f/15/tickets.pdf", "application/pdf"}};
    db.MessageAttachments = {{3, 1}};
    return db;
}

TContactsDb Contacts(bool current) {
    TContactsDb db;
    db.Current = current;
    db.Persons = {{1, "Anna", "Taylor", "", "", 180000000},
                  {2, "Ben", "Okafor", "", "Okafor & Sons Ltd", std::nullopt, "Call after 6pm", "Director"},
                  {3, "Bea", "Lindqvist"},
                  {4, "Chloé", "Dubois", "Marie"},
                  {5, "", "", "", "City Dental Practice"}};
    db.Persons[3].Created = 700000123; // Chloé was added on 8 March 2023, 20:28:43 UTC
    db.Values = {{1, 1, 3, 0, 1, "+44 7700 900123"},
                 {2, 1, 4, 0, 2, "anna.taylor@example.com"},
                 {3, 1, 5, 0, 2, std::nullopt},
                 {4, 2, 3, 0, 4, "+44 7700 900456"},
                 {5, 2, 22, 0, 5, "https://okafor.example"},
                 {6, 3, 4, 0, 2, "bea@example.com"},
                 {7, 3, 3, 0, 6, "+44 7700 900789"},
                 {8, 4, 3, 0, 1, "+33 6 12 34 56 78"},
                 {9, 5, 3, 0, 3, "+44 20 7946 0321"}};
    db.Entries = {
        {3, 1, "12 Harbour Road\nFlat 3"}, {3, 3, "Brighton"}, {3, 2, "BN1 2AB"}, {3, 6, "United Kingdom"}};
    db.Thumbnails = {{1, 0, TestJpeg(120, 120, 70, 130, 180)}, {4, 0, TestJpeg(80, 100, 220, 120, 60)}};
    db.FullSize = {{1, 0, TestJpeg(640, 640, 70, 130, 180)}};
    return db;
}

// The last messages of the day (rows 6 and 7) are still in the WAL, as on a phone backed up in use.
void AddSmsWithWal(const std::string& path, const TNewSmsDb& db, std::vector<TTestFile>& files) {
    const auto inWal = [](std::int64_t row) { return row == 6 || row == 7; };
    TNewSmsDb base = db;
    base.Messages.clear();
    base.ChatMessages.clear();
    TNewSmsDb fresh;
    for (const TNewSmsDb::TMessage& m : db.Messages) {
        (inWal(m.RowId) ? fresh : base).Messages.push_back(m);
    }
    for (const TNewSmsDb::TJoin& j : db.ChatMessages) {
        (inWal(j.Second) ? fresh : base).ChatMessages.push_back(j);
    }
    // Devices since 2022 often leave text empty and keep it only in the archived attributedBody.
    for (TNewSmsDb::TMessage& m : fresh.Messages) {
        m.AttributedBody = AttributedBody(*m.Text, m.FromMe);
        m.Text.reset();
    }
    std::string walSql = NewSmsSql(fresh);
    WriteDatabaseWithWal(path, NewSmsSql(base), walSql.substr(walSql.find("INSERT")));
    files.emplace_back("HomeDomain", "Library/SMS/sms.db", Bytes(path));
    files.emplace_back("HomeDomain", "Library/SMS/sms.db-wal", Bytes(path + "-wal"));
}

const std::string kMark = "\xEF\xBF\xBC"; // where an attachment stands in a text
const std::string kTickets = "%PDF-1.4 demo tickets\n%%EOF\n";

// A title and a checklist; a plain note; the published locked note (password "password"); a note
// with a picture in the backup, one missing from it and a table.
std::vector<TCurrentNote> CurrentNotes() {
    TCurrentNote shopping{"Shopping list", "", 740000000};
    shopping.Protobuf = NoteProtobufRuns("Shopping list\nMilk\nEggs & flour\nCoffee",
                                         {{.Length = 14, .Style = 0},
                                          {.Length = 5, .Style = 103, .Done = 1},
                                          {.Length = 13, .Style = 103, .Done = 0},
                                          {.Length = 6, .Style = 103, .Done = 0}});
    shopping.Pinned = true;
    shopping.Created = 739000000;
    TCurrentNote locked{"Encrypted title", "", 740009000};
    locked.Lock = PublishedLockedNote();
    locked.CryptoOnData = true;
    TCurrentNote cottage{"Cottage", "", 740010000};
    cottage.Protobuf =
        NoteProtobufRuns("Cottage\nView " + kMark + "\nGarden " + kMark + "\n" + kMark,
                         {{.Length = 8, .Style = 0},
                          {.Length = 5},
                          {.Length = 1, .AttachmentId = "PIC-1", .AttachmentUti = "public.jpeg"},
                          {.Length = 8},
                          {.Length = 1, .AttachmentId = "PIC-2", .AttachmentUti = "public.jpeg"},
                          {.Length = 1},
                          {.Length = 1, .AttachmentId = "TBL-1", .AttachmentUti = "com.apple.notes.table"}});
    cottage.InTrash = true;
    return {shopping,
            {"Gift ideas", "Gift ideas\nAnna: a scarf\nChlo\xC3\xA9: concert tickets", 740005000},
            locked,
            cottage};
}

std::vector<TNoteAttachmentRow> CurrentNoteAttachments() {
    return {{"PIC-1", "public.jpeg", "", "MED-1", "view.jpg"},
            {"PIC-2", "public.jpeg", "", "MED-2", "garden.jpg"},
            {"TBL-1", "com.apple.notes.table", "", "", "", "",
             TableMergeData({{"Room", "Beds"}, {"Loft", "2"}})}};
}

// NoteStore.sqlite and the one picture of its notes that is in the backup.
void AddNoteStore(const std::string& work, const std::string& sql, std::vector<TTestFile>& files) {
    const std::string path = work + "NoteStore.sqlite";
    std::remove(path.c_str());
    ExecSql(path, sql);
    files.emplace_back("AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite", Bytes(path));
    files.emplace_back("AppDomainGroup-group.com.apple.notes", "Accounts/ACC-1/Media/MED-1/1_a/view.jpg",
                       TestJpeg(64, 48, 90, 150, 200));
}
} // namespace

void AddDemoContacts(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    const TContactsDb db = Contacts(generation != TDemoGeneration::Old);
    const std::string book = work + "AddressBook.sqlitedb";
    const std::string images = work + "AddressBookImages.sqlitedb";
    if (generation != TDemoGeneration::Current) {
        AddDatabase(book, ContactsSql(db), "Library/AddressBook/AddressBook.sqlitedb", files);
        AddDatabase(images, ContactImagesSql(db), "Library/AddressBook/AddressBookImages.sqlitedb", files);
        return;
    }
    // A current phone: the newest contact and the pictures only in the WAL.
    TContactsDb base = db;
    base.Persons.pop_back();
    base.Values.pop_back();
    std::string walSql =
        "INSERT INTO ABPerson (ROWID, Organization, Kind) VALUES (5, 'City Dental Practice', 0);"
        "INSERT INTO ABMultiValue VALUES (9, 5, 3, 0, 3, '+44 20 7946 0321');";
    WriteDatabaseWithWal(book, ContactsSql(base), walSql);
    files.emplace_back("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", Bytes(book));
    files.emplace_back("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb-wal", Bytes(book + "-wal"));
    TContactsDb noPictures = db;
    noPictures.Thumbnails.clear();
    noPictures.FullSize.clear();
    const std::string pictures = ContactImagesSql(db);
    WriteDatabaseWithWal(images, ContactImagesSql(noPictures), pictures.substr(pictures.find("INSERT")));
    files.emplace_back("HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb", Bytes(images));
    files.emplace_back("HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb-wal",
                       Bytes(images + "-wal"));
}

void AddDemoMessages(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    const std::string path = work + "sms.db";
    if (generation == TDemoGeneration::Old) {
        AddDatabase(path, OldSmsSql(OldSms()), "Library/SMS/sms.db", files);
        return;
    }
    const TNewSmsDb db = NewSms(generation == TDemoGeneration::Current);
    if (generation == TDemoGeneration::Mid) {
        AddDatabase(path, NewSmsSql(db), "Library/SMS/sms.db", files);
    } else {
        AddSmsWithWal(path, db, files);
    }
    files.emplace_back("MediaDomain", "Library/SMS/Attachments/4f/15/tickets.pdf", kTickets);
}

void AddDemoCalls(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    if (generation == TDemoGeneration::Old) {
        std::vector<TCallRow> rows = {{"+447700900123", 1336630000, 125},
                                      {"+447700900456", 1336640000, 0},
                                      {"+447700900789", 1336650000, 3725},
                                      {"+447700900123", 1336660000, 42}};
        rows[0].Flags = 5; // outgoing
        rows[1].Flags = 4; // missed
        rows[2].Flags = 4;
        rows[3].Flags = 16; // FaceTime
        AddDatabase(work + "call_history.db", CallHistoryDbSql(rows), "Library/CallHistory/call_history.db",
                    files);
        return;
    }
    const double t = generation == TDemoGeneration::Current ? 740000000.25 : 470000000.5;
    std::vector<TCallRow> rows = {{"+447700900123", t - 4000, 95},
                                  {"+447700900456", t - 3000, 0},
                                  {"bea@example.com", t - 2000, 610},
                                  {"+447700900789", t - 1000, 0}};
    rows[0].Originated = 1;
    rows[1].Answered = 0;
    rows[2].CallType = 8;   // FaceTime
    rows[3].Originated = 1; // never connected
    AddDatabase(work + "calls.storedata", CallHistoryStoreDataSql(rows),
                "Library/CallHistoryDB/CallHistory.storedata", files);
}

void AddDemoCalendar(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    const double t = generation == TDemoGeneration::Old   ? 358000000
                     : generation == TDemoGeneration::Mid ? 470000000
                                                          : 740000000;
    std::vector<TCalendarEvent> events = {
        {"Dentist", t + 86400, t + 90000, false, 1, "City Dental Practice", "Bring the insurance form"},
        {"Anna's birthday", t + 172800, t + 259199, true, 2},
        {"Team meeting", t + 200000, t + 203600, false, 1, "Room 4.2", "Quarterly review",
         "https://meet.example/q3"},
        {"Flight to Lyon", t + 400000, t + 407200, false, 1, "Gatwick North", "Seat 14A"},
    };
    const std::string sql =
        generation == TDemoGeneration::Old ? OlderCalendarSql(events) : NewerCalendarSql(events);
    AddDatabase(work + "Calendar.sqlitedb", sql, "Library/Calendar/Calendar.sqlitedb", files);
}

void AddDemoNotes(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    const double t = generation == TDemoGeneration::Old ? 358000000 : 470000000;
    const std::vector<TNoteRow> notes = {
        {"Shopping list", "<div>Milk</div><div>Eggs &amp; flour</div><div>Coffee</div>", t},
        {"Gift ideas", "Anna: a scarf<br>Ben: the new novel<br>Chlo&#233;: concert tickets", t + 5000},
        {"Wi-Fi at the cottage", "Network: Cottage-5G<br>Password: see the fridge door", t + 9000},
    };
    if (generation == TDemoGeneration::Old) {
        AddDatabase(work + "notes.db", NotesDbSql(notes), "Library/Notes/notes.db", files);
    } else if (generation == TDemoGeneration::Mid) {
        AddDatabase(work + "notes.sqlite", NotesSqliteSql(notes), "Library/Notes/notes.sqlite", files);
    } else {
        AddNoteStore(work, NoteStoreSql(CurrentNotes(), CurrentNoteAttachments()), files);
    }
}

void AddDemoSafari(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    AddDatabase(work + "Bookmarks.db",
                BookmarksSql({{0, std::nullopt, true, "Root"},
                              {1, 0, true, "BookmarksBar"},
                              {2, 0, true, "com.apple.ReadingList"},
                              {3, 1, true, "Travel"},
                              {4, 0, false, "Kestrow", "https://kestrow.example/"},
                              {5, 1, false, "News", "https://news.example/"},
                              {6, 3, false, "Trains", "https://trains.example/timetable"},
                              {7, 2, false, "Long read", "https://magazine.example/long-read"}}),
                "Library/Safari/Bookmarks.db", files);
    const std::string visited = generation == TDemoGeneration::Old ? "358000000.5" : "740000000.5";
    const std::vector<THistoryEntry> history = {
        {"https://news.example/", "News – front page", visited, 12},
        {"https://trains.example/timetable", "Timetable", visited, 3},
        {"https://kestrow.example/", std::nullopt, visited, 1},
    };
    if (generation == TDemoGeneration::Old) {
        files.emplace_back("HomeDomain", "Library/Safari/History.plist", HistoryPlist(history, false));
    } else if (generation == TDemoGeneration::Mid) {
        files.emplace_back("AppDomain-com.apple.mobilesafari", "Library/Safari/History.plist",
                           HistoryPlist(history));
    } else {
        const std::string path = work + "History.db";
        std::remove(path.c_str());
        ExecSql(path, HistoryDbSql({{1, "https://news.example/"}, {2, "https://trains.example/timetable"}},
                                   {{1, 740000000.5, "News \xE2\x80\x93 front page"},
                                    {2, 740000100.5, "Timetable"},
                                    {1, 740000200.5, "News \xE2\x80\x93 evening edition"}}));
        files.emplace_back("AppDomain-com.apple.mobilesafari", "Library/Safari/History.db", Bytes(path));
    }
}

std::string AmrAudio(int frames) {
    std::string audio = "#!AMR\n";
    for (int i = 0; i < frames; ++i) {
        audio += '\x04';                // mode 0 (4.75 kbit/s), frame quality good
        audio += std::string(12, '\0'); // its 95 bits of speech parameters
    }
    return audio;
}

void AddDemoVoicemail(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    const std::int64_t t = generation == TDemoGeneration::Old ? 1336600000 : 1718300000;
    AddDatabase(work + "voicemail.db",
                VoicemailSql({{1, "+447700900456", t, 14},
                              {2, "+442079460999", t + 7200, 75},
                              {3, "+442079460321", t + 9000, 3}}),
                "Library/Voicemail/voicemail.db", files);
    files.emplace_back("HomeDomain", "Library/Voicemail/1.amr", AmrAudio(700));
    files.emplace_back("HomeDomain", "Library/Voicemail/2.amr", AmrAudio(3750));
    // The third message's audio was not backed up; its caller is a contact without a name (a company).
}

namespace {

// The named iMessage group "Lyon trip" (chat 4) of Anna, Ben and Bea with what today's phones keep
// of it, and an SMS group of Anna and Ben (chat 5), added to the demo's conversations. Dates in
// nanoseconds from 2024-06-14 08:00 UTC.
void AddTodaysGroups(TNewSmsDb& db, const std::string& picture) {
    db.Current = true;
    db.Chats.push_back({4, 43, "chat-lyon", "iMessage", "Lyon trip"});
    db.Chats.push_back({5, 43, "chat-sms", "SMS", ""});
    db.ChatHandles.insert(db.ChatHandles.end(), {{4, 1}, {4, 2}, {4, 4}, {5, 1}, {5, 2}});
    constexpr std::int64_t t = 740044800'000000000;
    constexpr std::int64_t minute = 60'000000000;
    const auto m = [&](std::int64_t row, std::optional<std::string> text, std::int64_t handle, int minutes) {
        TNewSmsDb::TMessage message{row,         std::move(text), handle, t + minutes * minute,
                                    handle == 0, "iMessage"};
        message.Guid = "LYON-" + std::to_string(row);
        return message;
    };
    auto named = m(101, std::nullopt, 0, 0);
    named.ItemType = 2;
    named.GroupTitle = "Lyon trip";
    auto added = m(102, std::nullopt, 1, 1);
    added.ItemType = 1;
    added.OtherHandle = 4;
    const std::string address = "Rue Victor Hugo 12, two minutes from the station";
    auto love = m(105, "Loved \u201c" + address + "\u201d", 2, 6);
    love.AssociatedType = 2000;
    love.AssociatedGuid = "p:0/LYON-104";
    auto croissant = m(106, "Reacted \U0001F950 to \u201c" + address + "\u201d", 4, 7);
    croissant.AssociatedType = 2006;
    croissant.AssociatedGuid = "p:0/LYON-104";
    croissant.AssociatedEmoji = "\U0001F950";
    auto edited = m(107, std::nullopt, 0, 10);
    edited.AttributedBody = AttributedBody("The train leaves at 8:15");
    edited.DateEdited = t + 12 * minute;
    edited.SummaryInfo = MessageSummaryInfo(
        {{{t + 10 * minute, "The train leaves at 7:45"}, {t + 12 * minute, "The train leaves at 8:15"}}}, {});
    auto unsent = m(108, std::nullopt, 1, 13);
    unsent.DateEdited = t + 14 * minute;
    unsent.DateRetracted = t + 14 * minute;
    unsent.SummaryInfo = MessageSummaryInfo({}, {0});
    auto reply = m(109, "Fine by me, see you on the platform", 2, 15);
    reply.ThreadGuid = "LYON-107";
    auto late = m(120, "Running late, start without me", 2, 180);
    late.Service = "SMS";
    auto ok = m(121, "No problem, see you at the museum", 0, 182);
    ok.Service = "SMS";
    for (const TNewSmsDb::TMessage& message :
         {named, added, m(103, "Who has the address of the hotel in Lyon?", 1, 5), m(104, address, 0, 5),
          love, croissant, edited, unsent, reply, m(110, kMark, 4, 20), late, ok}) {
        db.Messages.push_back(message);
        db.ChatMessages.push_back({message.RowId < 120 ? 4 : 5, message.RowId});
    }
    db.Attachments.push_back({2, "~/Library/SMS/Attachments/3c/07/IMG_4120.HEIC", "image/heic",
                              "IMG_4120.HEIC", static_cast<std::int64_t>(picture.size())});
    db.MessageAttachments.push_back({110, 2});
}

} // namespace

void AddDemoTodaysMessages(const std::string& work, std::vector<TTestFile>& files) {
    const std::string picture = TestHeic(64, 48, 40, 110, 190, ExifTiff("2024:06:14 10:20:00", 1, "+02:00"));
    TNewSmsDb db = NewSms(true);
    AddTodaysGroups(db, picture);
    AddSmsWithWal(work + "sms.db", db, files);
    files.emplace_back("MediaDomain", "Library/SMS/Attachments/4f/15/tickets.pdf", kTickets);
    files.emplace_back("MediaDomain", "Library/SMS/Attachments/3c/07/IMG_4120.HEIC", picture);
}

void AddDemoTodaysNotes(const std::string& work, std::vector<TTestFile>& files) {
    TCurrentNote packing{"Packing for Lyon", "", 740040000};
    packing.Protobuf =
        NoteProtobufRuns("Packing for Lyon\nPassports\nRail tickets\nHotel " + kMark,
                         {{.Length = 17, .Style = 0},
                          {.Length = 10, .Style = 103, .Done = 1},
                          {.Length = 13, .Style = 103, .Done = 0},
                          {.Length = 6},
                          {.Length = 1, .AttachmentId = "PIC-3", .AttachmentUti = "public.jpeg"}});
    std::vector<TCurrentNote> notes = CurrentNotes();
    notes.push_back(packing);
    std::vector<TNoteAttachmentRow> attachments = CurrentNoteAttachments();
    attachments.push_back({"PIC-3", "public.jpeg", "", "MED-3", "hotel.jpg"});
    // A folder of the user's own beside "Notes", holding the new note.
    AddNoteStore(work,
                 NoteStoreSql(notes, attachments) +
                     "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZTITLE2, ZACCOUNT4, "
                     "ZCREATIONDATE, ZFOLDERTYPE) VALUES (900, 15, 5, 'Travel', 1, 1, 0);"
                     "UPDATE ZICCLOUDSYNCINGOBJECT SET ZFOLDER = 900 WHERE ZTITLE1 = 'Packing for Lyon';",
                 files);
    files.emplace_back("AppDomainGroup-group.com.apple.notes", "Accounts/ACC-1/Media/MED-3/1_a/hotel.jpg",
                       TestJpeg(64, 48, 200, 160, 90));
}

void AddDemoCollidingKeys(const std::string& work, std::vector<TTestFile>& files) {
    const auto preferences = [](const char* locale) {
        TPlistPtr root(plist_new_dict());
        plist_dict_set_item(root.get(), "AppleLocale", plist_new_string(locale));
        return PlistBinary(root.get());
    };
    files.emplace_back("RootDomain", "Library/Preferences/.GlobalPreferences.plist", preferences("en_GB"));
    files.emplace_back("HomeDomain", "Library/Preferences/.GlobalPreferences.plist", preferences("fr_FR"));
    for (const char* group : {"shared", "business"}) {
        const std::string path = work + "ChatStorage.sqlite";
        std::remove(path.c_str());
        ExecSql(path, std::string(
                          "CREATE TABLE ZMESSAGE (Z_PK INTEGER PRIMARY KEY, ZDATE TIMESTAMP, ZTEXT VARCHAR);"
                          "INSERT INTO ZMESSAGE VALUES (1, 740000000, 'Hello from the ") +
                          group + " account');");
        files.emplace_back(std::string("AppDomainGroup-group.com.example.chat.") + group,
                           "ChatStorage.sqlite", Bytes(path));
    }
}

} // namespace kestrow::test
