// The run manifest written and read back: every value as it was (line
// breaks and escapes included), each entry chained to what is before it, and
// a manifest changed in any way refused whole.
#include "FileContents.h"
#include "ManifestEnd.h"
#include "ManifestRun.h"
#include "ManifestSave.h"
#include "ManifestText.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunManifestWriter.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
// Values that would end, hide or fake a line if taken as they are.
const QString kHostile = QStringLiteral("Macro1\nSaved file: /elsewhere.xls (sha256 00)\r\\u{a}\\ \x01 \x7f \u0085 "
                                        "\u2028 \u2029 a=b é 😀");

struct Manifest {
    QTemporaryDir folder;
    QString path = folder.filePath("run.manifest");

    Manifest()
    {
        ManifestEntry run(ManifestRun::kKind);
        run.set("raw", "2026-12-07_14-30-00_COM1.raw");
        run.set("macro", kHostile);
        run.set("bytes", 42);
        first = RunManifestWriter::create(path, run).value();
        ManifestEntry save(ManifestSave::kKind);
        save.set("path", "/runs/a.xls");
        save.set("sha256", QString(64, 'a'));
        second = RunManifestWriter::append(path, save).value();
        ManifestEntry cancel("cancel");
        cancel.set("note", "");
        third = RunManifestWriter::append(path, cancel).value();
    }
    QByteArray bytes() const { return readFile(path); }

    ManifestEntry first, second, third;
};

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
} // namespace

TEST(RunManifest, readsBackEveryEntryAndValueAsWritten)
{
    Manifest m;
    const Result<RunManifest> read = RunManifestReader::read(m.path);
    ASSERT_TRUE(read.ok()) << read.failure().reason.toStdString();
    ASSERT_EQ(read->entries.size(), 3);
    EXPECT_EQ(read->version, ManifestText::kVersion);
    const ManifestEntry &run = read->entries[0];
    EXPECT_EQ(run.kind(), "run");
    EXPECT_EQ(run.value("macro"), kHostile);
    EXPECT_EQ(run.number("bytes"), 42);
    EXPECT_EQ(read->entries[1].value("path"), "/runs/a.xls");
    EXPECT_TRUE(read->entries[2].has("note"));
    // The hashes the writer gave are those the reader finds, chained.
    const ManifestEntry *written[] = {&m.first, &m.second, &m.third};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read->entries[i].hash(), written[i]->hash()) << i;
        EXPECT_EQ(read->entries[i].previousHash(), written[i]->previousHash()) << i;
    }
    EXPECT_EQ(m.second.previousHash(), m.first.hash());
    EXPECT_EQ(m.third.previousHash(), m.second.hash());
    EXPECT_EQ(read->hash(), sha256(m.bytes()));
    // The hostile value stayed on its one line.
    EXPECT_EQ(m.bytes().count('\n'), 1 + 4 + 3 + 2);
}

TEST(RunManifest, refusesAManifestChangedInAnyWay)
{
    const struct {
        const char *what;
        QByteArray (*change)(QByteArray);
    } cases[] = {
        {"a value of an earlier entry edited", [](QByteArray b) { return b.replace("bytes=42", "bytes=43"); }},
        {"a line of an earlier entry stripped", [](QByteArray b) { return b.replace("bytes=42\n", ""); }},
        {"a line added to the last entry unescaped", [](QByteArray b) { return b + "note2=a\rb\n"; }},
        {"a field twice", [](QByteArray b) { return b + "note=again\n"; }},
        {"a line that is no field", [](QByteArray b) { return b + "Saved file: /x.xls\n"; }},
        {"cut short", [](QByteArray b) { return b.chopped(1); }},
        {"an escape never written", [](QByteArray b) { return b + "x=\\u{41}\n"; }},
        {"a newer version", [](QByteArray b) { return b.replace("manifest 1\n", "manifest 2\n"); }},
        {"an entry whose link was rewritten",
         [](QByteArray b) { return b.replace(b.indexOf("@entry save ") + 12, 64, QByteArray(64, 'b')); }},
    };
    for (const auto &c : cases) {
        Manifest m;
        writeFile(m.path, c.change(m.bytes()));
        EXPECT_FALSE(RunManifestReader::read(m.path).ok()) << c.what;
        ManifestEntry later("rebuild");
        EXPECT_FALSE(RunManifestWriter::append(m.path, later).ok()) << c.what << ": appended to";
    }
}

TEST(RunManifest, isWrittenOnceAndRefusesNamesThatAreNotWords)
{
    Manifest m;
    const QByteArray before = m.bytes();
    EXPECT_FALSE(RunManifestWriter::create(m.path, ManifestEntry(ManifestRun::kKind)).ok());
    ManifestEntry badKey("save");
    badKey.set("path\nraw.sha256", "x");
    EXPECT_FALSE(RunManifestWriter::append(m.path, badKey).ok());
    EXPECT_FALSE(RunManifestWriter::append(m.path, ManifestEntry("Save File")).ok());
    EXPECT_EQ(m.bytes(), before);
}

TEST(RunManifest, keepsTheRunsOwnEntriesAndRefusesThemWithoutTheirKeyFields)
{
    ManifestRun run;
    run.started = QDateTime(QDate(2026, 12, 7), QTime(14, 30, 0, 250));
    run.comNumber = 3;
    run.rawName = "2026-12-07_14-30-00_COM3.raw";
    run.startingWorkbookSha256 = QString(64, 'd');
    run.previousRun = "2026-12-07_14-00-00_COM3.raw";
    run.previousEntries = 2;
    run.previousSha256 = QString(64, 'e');
    ManifestEnd end;
    end.stopped = run.started.addSecs(3600);
    end.counts.linesRefused = 2;
    end.macro = kHostile;
    end.rawSha256 = QString(64, 'c');
    end.hashedTo = 4096;
    end.hashedToSha256 = QString(64, 'f');

    const Result<ManifestRun> runBack = ManifestRun::fromEntry(run.toEntry());
    const Result<ManifestEnd> endBack = ManifestEnd::fromEntry(end.toEntry());
    ASSERT_TRUE(runBack.ok()) << runBack.failure().reason.toStdString();
    ASSERT_TRUE(endBack.ok()) << endBack.failure().reason.toStdString();
    EXPECT_EQ(runBack->started, run.started);
    EXPECT_EQ(runBack->toEntry().fields(), run.toEntry().fields());
    EXPECT_EQ(endBack->counts, end.counts);
    EXPECT_EQ(endBack->macro, kHostile);
    EXPECT_EQ(endBack->toEntry().fields(), end.toEntry().fields());

    // The stripped line: an end entry without its hash is no end entry.
    const struct {
        ManifestEntry entry;
        const char *key;
        bool (*reads)(const ManifestEntry &);
    } stripped[] = {
        {end.toEntry(), "raw.sha256", [](const ManifestEntry &e) { return ManifestEnd::fromEntry(e).ok(); }},
        {end.toEntry(), "stopped", [](const ManifestEntry &e) { return ManifestEnd::fromEntry(e).ok(); }},
        {run.toEntry(), "raw", [](const ManifestEntry &e) { return ManifestRun::fromEntry(e).ok(); }},
    };
    for (const auto &c : stripped) {
        ManifestEntry without(c.entry.kind());
        for (const auto &[key, value] : c.entry.fields())
            if (key != c.key)
                without.set(key, value);
        EXPECT_FALSE(c.reads(without)) << c.key;
    }
}
