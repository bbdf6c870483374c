// What phones have stored since 2016: message text in attributedBody, NoteStore.sqlite, History.db.
#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/notes.h"
#include "readers/protobuf_reader.h"
#include "readers/safari.h"
#include "readers/short_message.h"
#include "readers/typedstream.h"
#include "support/current_stores_writer.h"
#include "support/fixed_zone.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

TEST(AttributedBody, TheFirstStringOfTheArchive) {
    EXPECT_EQ(AttributedBodyText(test::AttributedBody("Hello there")), "Hello there");
    EXPECT_EQ(AttributedBodyText(test::AttributedBody("Mutable \xF0\x9F\x98\x80", true)),
              "Mutable \xF0\x9F\x98\x80");
    const std::string medium(300, 'm');
    EXPECT_EQ(AttributedBodyText(test::AttributedBody(medium)), medium); // 0x81 and a 16-bit length
    const std::string large(70000, 'L');
    EXPECT_EQ(AttributedBodyText(test::AttributedBody(large)), large); // 0x82 and a 32-bit length
    EXPECT_EQ(AttributedBodyText(test::AttributedBody("pic \xEF\xBF\xBC here")), "pic  here");
    EXPECT_EQ(AttributedBodyText(test::AttributedBody(std::string(0x80, 'x'))), std::string(0x80, 'x'));
    // Malformed: nothing, never a read past the end.
    std::string cut = test::AttributedBody("a text that is cut short");
    cut.resize(cut.find("a text") + 5);
    EXPECT_EQ(AttributedBodyText(cut), "");
    EXPECT_EQ(AttributedBodyText("NSString"), "");
    EXPECT_EQ(AttributedBodyText("NSString+"), "");
    EXPECT_EQ(AttributedBodyText(std::string("NSString+\x82\x01\x00", 12)), "");
    EXPECT_EQ(AttributedBodyText("no class name at all + 5 hello"), "");
}

TEST(Protobuf, NestedFieldsWithEveryWireType) {
    // 1: varint, 2: { 9: fixed64, 10: fixed32, 3: { 2: "text" } }
    const std::string inner = std::string("\x12\x04text", 6);
    const std::string middle = std::string("\x49", 1) + std::string(8, '\x01') + std::string("\x55", 1) +
                               std::string(4, '\x02') + "\x1a" + static_cast<char>(inner.size()) + inner;
    const std::string message =
        std::string("\x08\x96\x01\x12", 4) + static_cast<char>(middle.size()) + middle;
    ASSERT_TRUE(ProtobufField(message, {2, 3, 2}).has_value());
    EXPECT_EQ(*ProtobufField(message, {2, 3, 2}), "text");
    EXPECT_FALSE(ProtobufField(message, {2, 4}).has_value());
    EXPECT_FALSE(ProtobufField(message.substr(0, message.size() - 2), {2, 3, 2}).has_value());
    EXPECT_FALSE(ProtobufField(std::string("\x12\xff\xff\xff\xff\x0f", 6), {2}).has_value());
    EXPECT_FALSE(ProtobufField(std::string(11, '\x80'), {2}).has_value());
    EXPECT_FALSE(Inflate("not compressed", 100).has_value());
    EXPECT_EQ(Inflate(test::NoteData("x").substr(0), 1 << 20).has_value(), true);
    EXPECT_FALSE(Inflate(test::NoteData(std::string(5000, 'z')), 100).has_value()); // over the limit
}

class CurrentStores : public ::testing::Test {
protected:
    std::string Write(const std::string& sql) {
        const std::string path = FFolder.Path() + "db" + std::to_string(++FCount);
        test::ExecSql(path, sql);
        return path;
    }
    TTempFolder FFolder;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(CurrentStores, MessagesWhoseTextIsOnlyInTheAttributedBody) {
    test::TNewSmsDb db;
    db.Handles = {{1, "+447700900001"}};
    db.Chats = {{1, 45, "+447700900001"}};
    db.Messages = {
        {1, std::nullopt, 1, 700000000, false, "iMessage", "", test::AttributedBody("Only archived")},
        {2, std::string(""), 1, 700000001, true, "iMessage", "", test::AttributedBody("Empty text")},
        {3, std::string("Plain"), 1, 700000002, false, "SMS", "", test::AttributedBody("Ignored")},
        {4, std::nullopt, 1, 700000003, false, "iMessage", "", std::string("damaged")},
        {5, std::nullopt, 1, 700000004}};
    db.ChatMessages = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}};
    TShortMessage sms(Write(test::NewSmsSql(db)), 0);
    const auto& items = sms.Groups(0).Items;
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].Text, "Only archived");
    EXPECT_EQ(items[1].Text, "Empty text");
    EXPECT_EQ(items[2].Text, "Plain");
    EXPECT_EQ(items[3].Text, "");
    EXPECT_EQ(items[4].Text, "");
}

TEST_F(CurrentStores, MessageTablesWithoutOptionalColumns) {
    test::TNewSmsDb db;
    db.Handles = {{1, "+1"}};
    db.Chats = {{1, 45, "+1"}};
    db.Messages = {{1, std::string("kept"), 1, 700000000}};
    db.ChatMessages = {{1, 1}};
    std::string sql = test::NewSmsSql(db);
    // An older table without attributedBody and cache_roomnames.
    const auto drop = [&sql](const std::string& column) {
        for (std::size_t at = sql.find(column); at != std::string::npos; at = sql.find(column, at)) {
            const std::size_t end = sql.find_first_of(",)", at);
            sql.erase(at, end - at + (sql[end] == ',' ? 1 : 0));
        }
    };
    sql = sql.substr(0, sql.find("INSERT INTO message")) +
          "INSERT INTO message (ROWID, guid, text, handle_id, service, date, is_from_me) VALUES (1, 'g', "
          "'kept', 1, "
          "'SMS', 700000000, 0);INSERT INTO chat_message_join VALUES (1, 1);";
    drop("attributedBody BLOB");
    drop("cache_roomnames TEXT");
    TShortMessage sms(Write(sql), 0);
    ASSERT_EQ(sms.Groups(0).ItemCount(), 1);
    EXPECT_EQ(sms.Groups(0).Items[0].Text, "kept");
}

TEST_F(CurrentStores, NoteStoreNotesLockedAndDamaged) {
    TNotes notes(Write(test::NoteStoreSql({{"Groceries", "Groceries\nMilk & eggs\n<butter>", 700000000},
                                           {"Secret", "", 700000100, true},
                                           {"Broken", "", 700000200, false, std::string("not gzip")},
                                           {"Quote", "He said \"hi\" &amp; left", 0}})),
                 3600);
    ASSERT_EQ(notes.Count(), 4); // the account and the folder are no notes
    EXPECT_EQ(notes.Notes(0).Title, "Groceries");
    EXPECT_EQ(notes.Notes(0).Body, "Groceries<br>Milk &amp; eggs<br>&lt;butter&gt;");
    EXPECT_EQ(notes.NoteText(0), "Groceries\r\nMilk & eggs\r\n<butter>");
    EXPECT_EQ(IsoLocalText(notes.Notes(0).ModifiedDate), "2023-03-08T21:26:40");
    EXPECT_EQ(notes.Notes(1).Body, "(locked note)");
    EXPECT_EQ(notes.NoteText(1), "(locked note)");
    EXPECT_EQ(notes.Notes(2).Body, "");
    EXPECT_EQ(notes.NoteText(3), "He said \"hi\" &amp; left");
    EXPECT_EQ(NoteStoreText(test::NoteData("round trip")), "round trip");
}

TEST_F(CurrentStores, HistoryDbLatestVisitPerPage) {
    TSafari safari(
        "", 0, "",
        Write(test::HistoryDbSql(
            {{5, "https://first.example/"}, {2, "https://second.example/"}, {9, "https://never.example/"}},
            {{5, 700000000, "Old title"},
             {5, 700000500, "New title"},
             {5, 700000100, "Between"},
             {2, 700000300, ""}})));
    EXPECT_TRUE(safari.HasHistory());
    ASSERT_EQ(safari.HistoryCount(), 3);
    EXPECT_EQ(safari.History(0).Url, "https://second.example/"); // history_items row order
    EXPECT_EQ(safari.History(0).Title, "No title");
    EXPECT_EQ(IsoLocalText(safari.History(0).Date), "2023-03-08T20:31:40");
    EXPECT_EQ(safari.History(1).Title, "New title");
    EXPECT_EQ(IsoLocalText(safari.History(1).Date), "2023-03-08T20:35:00");
    EXPECT_EQ(safari.History(2).Title, "No title");
    EXPECT_EQ(safari.History(2).Date, 0);
    EXPECT_EQ(safari.HistoryError(), "");
    TSafari broken("", 0, "", Write("CREATE TABLE history_items (id INTEGER);"));
    EXPECT_EQ(broken.HistoryCount(), 0);
    EXPECT_NE(broken.HistoryError().find("no such table: history_visits"), std::string::npos)
        << broken.HistoryError();
}

} // namespace
} // namespace kestrow
