#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/sqlite_database.h"
#include "readers/voicemail.h"
#include "support/fixed_zone.h"
#include "support/sqlite_writer.h"
#include "support/voicemail_writer.h"

namespace kestrow {
namespace {

TEST(VoiceMail, MessagesAudioPathsAndDurations) {
    test::TFixedZone zone("UTC");
    TTempFolder folder;
    test::ExecSql(folder.Path() + "voicemail.db",
                  test::VoicemailSql({{12, "+447700900123", 1336637730, 75, 3}, {13, "", 0, 3725, 0}}));
    TVoiceMail voicemail(folder.Path() + "voicemail.db", -3600);
    ASSERT_EQ(voicemail.Count(), 2);
    EXPECT_EQ(voicemail.Voicemails(0).RowId, 12);
    EXPECT_EQ(voicemail.Voicemails(0).AudioPath(), "Library/Voicemail/12.amr");
    EXPECT_EQ(voicemail.Voicemails(0).Sender, "+447700900123");
    EXPECT_EQ(IsoLocalText(voicemail.Voicemails(0).Date), "2012-05-10T07:15:30");
    EXPECT_EQ(voicemail.Voicemails(0).DurationText, "1:15");
    EXPECT_EQ(voicemail.Voicemails(0).Flags, 3);
    EXPECT_EQ(voicemail.Voicemails(1).Date, 0);
    EXPECT_EQ(voicemail.Voicemails(1).DurationText, "1:02:05");
    EXPECT_EQ(TVoiceMail(folder.Path() + "missing", 0).Count(), 0);
    test::ExecSql(folder.Path() + "other.db",
                  "CREATE TABLE voicemail (ROWID INTEGER PRIMARY KEY, date INTEGER);");
    EXPECT_THROW(TVoiceMail(folder.Path() + "other.db", 0), ESQLiteException);
}

} // namespace
} // namespace kestrow
