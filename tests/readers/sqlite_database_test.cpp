#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "readers/sqlite_database.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

class SQLite : public ::testing::Test {
protected:
    void SetUp() override {
        test::ExecSql(FPath,
                      "CREATE TABLE ZPERSON (Z_PK INTEGER PRIMARY KEY, ZNAME TEXT, ZSCORE REAL, ZPHOTO BLOB);"
                      "INSERT INTO ZPERSON VALUES (1, 'Anna', 1.5, x'FFD8FF');"
                      "INSERT INTO ZPERSON VALUES (2, NULL, NULL, NULL);"
                      "INSERT INTO ZPERSON VALUES (3, '', '42', x'');"
                      "CREATE VIEW VPERSON AS SELECT * FROM ZPERSON;"
                      "CREATE INDEX IPERSON ON ZPERSON(ZNAME);");
    }
    TTempFolder FFolder;
    std::string FPath = FFolder.Path() + "db.sqlite";
};

TEST_F(SQLite, ReadsRowsAndColumnsByCaseInsensitiveName) {
    TSQLiteDatabase db(FPath);
    const auto table = db.GetTable("SELECT z_pk, zname, zscore, zphoto FROM ZPERSON ORDER BY Z_PK");
    ASSERT_FALSE(table->Eof());
    EXPECT_EQ(table->ColCount(), 4);
    EXPECT_EQ(table->Columns(1), "ZNAME");
    const int name = table->FieldIndex("ZName");
    const int score = table->FieldIndex("zscore");
    const int photo = table->FieldIndex("ZPHOTO");
    EXPECT_EQ(table->FieldAsString(name), "Anna");
    EXPECT_EQ(table->FieldAsDouble(score), 1.5);
    EXPECT_EQ(table->FieldAsBlob(photo), "\xFF\xD8\xFF");
    ASSERT_TRUE(table->Next());
    EXPECT_EQ(table->FieldAsString(name), "");
    EXPECT_TRUE(table->FieldIsNull(name));
    EXPECT_TRUE(table->FieldAsBlob(photo).empty());
    ASSERT_TRUE(table->Next());
    EXPECT_FALSE(table->FieldIsNull(name)); // an empty string is not NULL
    EXPECT_EQ(table->FieldAsInteger(score), 42);
    EXPECT_TRUE(table->FieldAsBlob(photo).empty());
    EXPECT_FALSE(table->Next());
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->Row(), 3);
    EXPECT_TRUE(table->FieldExists("zPhoto"));
    EXPECT_FALSE(table->FieldExists("ZMISSING"));
}

TEST_F(SQLite, EmptyResultsAndTableExistence) {
    TSQLiteDatabase db(FPath);
    const auto none = db.GetTable("SELECT * FROM ZPERSON WHERE Z_PK > 99");
    EXPECT_TRUE(none->Eof());
    EXPECT_EQ(none->Row(), 0);
    EXPECT_TRUE(db.TableExists("zperson"));
    EXPECT_FALSE(db.TableExists("VPERSON")); // a view
    EXPECT_FALSE(db.TableExists("IPERSON")); // an index
    EXPECT_FALSE(db.TableExists("x' OR '1'='1"));
    // The database's own views never run; a common table expression of this program's SQL does.
    try {
        db.GetTable("SELECT * FROM vperson");
        ADD_FAILURE() << "a view was read";
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Reason(), "\"vperson\" is a view, not a table");
    }
    EXPECT_EQ(db.GetTable("WITH c(x) AS (SELECT 7) SELECT x FROM c")->FieldAsInteger(0), 7);
}

TEST_F(SQLite, FailuresRaiseWithTheirFixedTexts) {
    TSQLiteDatabase db(FPath);
    try {
        db.GetTable("SELECT x FROM nowhere");
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error executing SQL.\r\nError [1]: SQL error or missing database.\r\n"
                  "\"SELECT x FROM nowhere\": no such table: nowhere");
    }
    EXPECT_THROW(db.GetTable(""), ESQLiteException);
    const auto table = db.GetTable("SELECT * FROM ZPERSON");
    try {
        table->FieldIndex("ZMISSING");
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(std::string(e.what()), "Field not found in dataset: ZMISSING");
    }
    EXPECT_THROW(TSQLiteDatabase(FFolder.Path() + "missing.db"), ESQLiteException);
    EXPECT_EQ(SQLiteCodeDescription(27), "Unknown SQLite Error Code \"27\"");
    EXPECT_EQ(SQLiteCodeDescription(19), "Abort due to contraint violation");
}

TEST_F(SQLite, AFailedStepResetsAndTheTableStaysUsable) {
    TSQLiteDatabase db(FPath);
    const auto table = db.GetTable("SELECT 1 AS one UNION ALL SELECT abs(-9223372036854775808)");
    ASSERT_FALSE(table->Eof());
    EXPECT_EQ(table->FieldAsInteger(0), 1);
    try {
        table->Next();
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Could not retrieve data.\r\nError [1]: SQL error or missing database.\r\n"
                  "\"SELECT 1 AS one UNION ALL SELECT abs(-9223372036854775808)\": integer "
                  "overflow");
    }
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->Columns(0), "ONE");
    // Reset, not finalized: stepping again starts over.
    ASSERT_TRUE(table->Next());
    EXPECT_EQ(table->FieldAsInteger(0), 1);
}

TEST_F(SQLite, EveryPreparedStatementIsReported) {
    TSQLiteDatabase db(FPath);
    std::vector<std::string> seen;
    db.SetOnQuery([&](const std::string& sql) { seen.push_back(sql); });
    db.GetTable("SELECT * FROM ZPERSON");
    db.TableExists("ZPerson");
    EXPECT_THROW(db.GetTable("SELECT x FROM nowhere"), ESQLiteException); // never prepared: not reported
    EXPECT_EQ(seen,
              (std::vector<std::string>{
                  "SELECT * FROM ZPERSON",
                  "select [sql] from sqlite_master where [type] = 'table' and lower(name) = 'zperson' "}));
}

TEST_F(SQLite, ImmutableOpeningNeverWritesAndNeverCreatesFiles) {
    ASSERT_TRUE(WriteWholeFile(FFolder.Path() + "odd name %?#.db", [&] {
        std::string bytes;
        ReadWholeFile(FPath, bytes);
        return bytes;
    }()));
    {
        TSQLiteDatabase db(FFolder.Path() + "odd name %?#.db");
        EXPECT_TRUE(db.TableExists("ZPERSON"));
        EXPECT_THROW(db.GetTable("INSERT INTO ZPERSON VALUES (9, 'x', 0, NULL)"), ESQLiteException);
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(FFolder.Path())) {
        names.push_back(e.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"db.sqlite", "odd name %?#.db"}));
}

// A real database whose data lives only in its WAL: opened in place it has no tables.
TEST(SQLiteWal, WalCompanionIsCopiedAndApplied) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios5-sms-wal/";
    if (!FileExists(source + "sms.db")) {
        GTEST_SKIP() << "shared real data not present";
    }
    TTempFolder backup;
    TTempFolder work;
    ASSERT_EQ(CopyFileExclusive(source + "sms.db", backup.Path() + "sms.db"), 0);
    ASSERT_EQ(CopyFileExclusive(source + "sms.db-wal", backup.Path() + "sms.db-wal"), 0);
    {
        TSQLiteDatabase inPlace(backup.Path() + "sms.db");
        EXPECT_FALSE(inPlace.TableExists("message"));
    }
    const auto db = OpenBackupDatabase(backup.Path() + "sms.db", work.Path());
    ASSERT_TRUE(db->TableExists("message"));
    const auto count = db->GetTable("SELECT count(*) FROM message");
    EXPECT_EQ(count->FieldAsInteger(0), 4);
    EXPECT_FALSE(PathExists(backup.Path() + "sms.db-shm"));
}

} // namespace
} // namespace kestrow
