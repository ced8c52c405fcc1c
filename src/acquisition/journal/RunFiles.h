#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// The names and the formats of the files a run leaves in its journal folder:
//   <base>.raw           the bytes as received
//   <base>.times         "# halvern run journal 1", then one note a piece:
//                        <byte offset in .raw> <yyyy-MM-ddTHH:mm:ss.zzz>[ gap]
//                        and at each sync a checkpoint:
//                        # checkpoint <offset in .raw> <SHA-256 of .raw up to
//                        there> <offset in .times> <SHA-256 of .times up to
//                        the checkpoint's own line>
//   <base>.manifest      the run's record (see RunManifest)
//   <base>.summary.txt   the readable summary (see RunSummary)
// where <base> is "<yyyy-MM-dd_HH-mm-ss>_COM<n>", with "-<k>" for the k-th run
// started on that port within the same second.
class RunFiles {
public:
    // What a raw file's name says of its run.
    struct Name {
        QDateTime started;
        int comNumber = 0;
        int sameSecond = 1;
        // False when something follows ".raw": a name Halvern never makes.
        bool exact = true;
    };

    static QString baseName(const QDateTime &start, int comNumber);
    // The parts of a name that begins as baseName() + ".raw" does; nothing
    // for any other name.
    static std::optional<Name> parseRawName(const QString &fileName);

    static QString timesPathFor(const QString &rawPath);
    static QString summaryPathFor(const QString &rawPath);
    static QString manifestPathFor(const QString &rawPath);

    // The first line of a ".times" file, with its line end.
    static QByteArray timesHeader();
    // One note of a ".times" file, with its line end.
    static QByteArray timesNote(qint64 offset, const QDateTime &at, bool gap);
    // A checkpoint of a ".times" file, with its line end.
    struct Checkpoint {
        qint64 rawOffset = 0;
        QString rawSha256;
        qint64 timesOffset = 0;
        QString timesSha256;
    };
    static QByteArray checkpointNote(const Checkpoint &checkpoint);
    // The checkpoint a line of ".times" (without its line end) holds; nothing
    // when it is not one.
    static std::optional<Checkpoint> parseCheckpoint(const QByteArray &line);
    // True for a line that begins as a checkpoint does, whole or not.
    static bool looksLikeCheckpoint(const QByteArray &line);
    // The time of a note's second field; invalid when it is none.
    static QDateTime noteTime(const QByteArray &field);

    // Writes a summary file, private to the user, never through a link.
    static bool writeSummaryFile(const QString &path, const QString &text);
};
