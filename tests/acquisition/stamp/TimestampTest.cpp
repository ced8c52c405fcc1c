// The outside time stamp against a real authority (openssl ts -reply on
// 127.0.0.1): a stamp asked for in the background, kept and checked offline;
// an authority that cannot be reached asked again until it answers; and the
// check's refusals: a record entry edited after its stamp, a stamp made too
// late, a token of another authority, one missing where expected; the
// newest entry of a run's manifest edited, which no later entry could show.
#include "FileContents.h"
#include "ManifestStampCheck.h"
#include "ManifestStamper.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunManifestWriter.h"
#include "StampCheck.h"
#include "StampFile.h"
#include "TimestampAuthority.h"
#include "TimestampClient.h"
#include "WaitUntil.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QByteArray digestOf(const QByteArray &text) { return QCryptographicHash::hash(text, QCryptographicHash::Sha256); }

std::string joined(const StampCheck::Outcome &out) { return out.lines.join('\n').toStdString(); }

class TimestampTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(authority.ready());
        client.setRetryDelays(std::chrono::milliseconds(20), std::chrono::milliseconds(100));
    }

    // Stamps each digest as a run would, keeping the tokens beside `raw`.
    bool stampAll(const QList<QByteArray> &digests)
    {
        for (const QByteArray &digest : digests)
            client.stamp(digest, [this](const QByteArray &d, const QByteArray &token) {
                EXPECT_FALSE(StampFile::append(raw, {d, token}));
            });
        return waitUntil([this] { return client.pending() == 0; }, 20000);
    }

    TimestampAuthority authority;
    TimestampClient client{TimestampSettings{authority.url(), authority.caFile()}};
    QTemporaryDir runs;
    QString raw = runs.filePath("2026-12-07_14-30-00_COM3.raw");
    QList<StampCheck::Entry> entries{{digestOf("start"), QDateTime::currentDateTimeUtc(), "entry 1 (start)"},
                                     {digestOf("save"), QDateTime::currentDateTimeUtc(), "entry 2 (save)"}};
};
} // namespace

TEST_F(TimestampTest, EachEntryIsStampedInTheBackgroundAndChecksOffline)
{
    ASSERT_TRUE(stampAll({entries[0].digest, entries[1].digest}));
    EXPECT_EQ(authority.stamped(), 2);
    const StampCheck::Outcome out = StampCheck::check(raw, entries, authority.caFile(), true);
    EXPECT_FALSE(out.failed) << joined(out);
    EXPECT_EQ(out.lines.size(), 2) << joined(out);
}

TEST_F(TimestampTest, AnAuthorityThatCannotBeReachedIsAskedAgainUntilItStamps)
{
    int failures = 0;
    QObject::connect(&client, &TimestampClient::retrying, [&failures] { ++failures; });
    authority.close();
    client.stamp(entries[0].digest, [this](const QByteArray &d, const QByteArray &token) {
        EXPECT_FALSE(StampFile::append(raw, {d, token}));
    });
    EXPECT_EQ(client.pending(), 1);                                       // the call did not wait for the authority
    ASSERT_TRUE(waitUntil([&failures] { return failures >= 2; }, 20000)); // refused, asked again
    authority.setAnswering(false);
    ASSERT_TRUE(authority.listenAgain());
    ASSERT_TRUE(waitUntil([&failures] { return failures >= 4; }, 20000)); // "503", asked again
    EXPECT_EQ(client.pending(), 1);
    authority.setAnswering(true);
    ASSERT_TRUE(waitUntil([this] { return client.pending() == 0; }, 20000));
    EXPECT_EQ(authority.stamped(), 1);
    EXPECT_FALSE(StampCheck::check(raw, entries.mid(0, 1), authority.caFile(), true).failed);
}

TEST_F(TimestampTest, RefusesWhatTheRecordOrItsStampsNoLongerBackUp)
{
    ASSERT_TRUE(stampAll({entries[0].digest, entries[1].digest}));
    TimestampAuthority other;
    ASSERT_TRUE(other.ready());
    QList<StampCheck::Entry> edited = entries;
    edited[1].digest = digestOf("save, edited");
    QList<StampCheck::Entry> late = entries;
    late[1].event = late[1].event.addSecs(-11 * 60);
    QList<StampCheck::Entry> onTime = entries;
    onTime[1].event = onTime[1].event.addSecs(-9 * 60);
    const struct {
        const char *what;
        QList<StampCheck::Entry> entries;
        QString caFile;
        bool failed;
        const char *says;
    } cases[] = {
        {"the newest entry edited", edited, authority.caFile(), true, "which no entry of the record has now"},
        {"stamped 11 minutes after", late, authority.caFile(), true, "made again after the fact"},
        {"stamped 9 minutes after", onTime, authority.caFile(), false, "was stamped at"},
        {"another authority's CA", entries, other.caFile(), true, "does not match"},
        {"no CA file", entries, QString(), true, "no CA file"},
    };
    for (const auto &c : cases) {
        const StampCheck::Outcome out = StampCheck::check(raw, c.entries, c.caFile, true);
        EXPECT_EQ(out.failed, c.failed) << c.what << ": " << joined(out);
        EXPECT_NE(out.lines.join('\n').indexOf(c.says), -1) << c.what << ": " << joined(out);
    }
}

TEST_F(TimestampTest, AMissingOrUnreadableStampFailsOnlyWhereStampsAreExpected)
{
    EXPECT_FALSE(StampCheck::check(raw, entries, authority.caFile(), false).failed);
    const StampCheck::Outcome missing = StampCheck::check(raw, entries, authority.caFile(), true);
    EXPECT_TRUE(missing.failed);
    EXPECT_NE(missing.lines.join('\n').indexOf("entry 2 (save) has no time stamp"), -1) << joined(missing);

    ASSERT_TRUE(stampAll({entries[0].digest}));
    const StampCheck::Outcome oneMissing = StampCheck::check(raw, entries, authority.caFile(), true);
    EXPECT_TRUE(oneMissing.failed);
    EXPECT_EQ(oneMissing.lines.size(), 2) << joined(oneMissing);

    QFile file(StampFile::pathFor(raw));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("not a stamp\n");
    file.close();
    EXPECT_TRUE(StampCheck::check(raw, entries.mid(0, 1), authority.caFile(), false).failed);
}

TEST_F(TimestampTest, TheNewestManifestEntryEditedAfterItsStampIsCaught)
{
    ManifestStamper stamper(TimestampSettings{authority.url(), authority.caFile()});
    const QString manifest = RunManifest::pathFor(raw);
    ManifestEntry run("run");
    run.setTime("started", QDateTime::currentDateTime());
    stamper.describe(run);
    ManifestEntry save("save");
    save.set("path", "/home/lab/Documents/run.xls");
    save.set("sha256", QString(64, 'a'));
    save.setTime(ManifestStamper::kAtField, QDateTime::currentDateTime());
    const Result<ManifestEntry> first = RunManifestWriter::create(manifest, run);
    ASSERT_TRUE(first);
    stamper.stamp(raw, *first);
    const Result<ManifestEntry> last = RunManifestWriter::append(manifest, save);
    ASSERT_TRUE(last);
    stamper.stamp(raw, *last);
    ASSERT_TRUE(waitUntil([&stamper] { return stamper.client().pending() == 0; }, 20000));
    const StampCheck::Outcome kept =
        ManifestStampCheck::check(raw, *RunManifestReader::read(manifest), authority.caFile());
    EXPECT_FALSE(kept.failed) << joined(kept);

    writeFile(manifest, readFile(manifest).replace(QByteArray(64, 'a'), QByteArray(64, 'b')));
    const Result<RunManifest> edited = RunManifestReader::read(manifest);
    ASSERT_TRUE(edited) << "the chain alone does not see the newest entry edited";
    const StampCheck::Outcome out = ManifestStampCheck::check(raw, *edited, authority.caFile());
    EXPECT_TRUE(out.failed);
    EXPECT_NE(out.lines.join('\n').indexOf("entry 2 (save) has no time stamp"), -1) << joined(out);
}
