// Figures of the values as saved and of the outside time stamp.
//  values [lines]   a workbook of `lines` record lines (default 70,000, six
//                   cells each) filled in a headless office: reading every
//                   sheet's values from it (what each save adds in the
//                   office), the values file's size, making and keeping
//                   it, and loading it back; each repeated, median and worst.
//  stamp [entries]  `entries` record entries (default 50) stamped one after
//                   the other against a local authority (openssl ts -reply
//                   on 127.0.0.1), from the call to the token kept, and the
//                   offline check of each token; beside it the same entries
//                   with no authority set (the cost the program pays then).
// Without arguments: both.
#include "../common/PrivateHome.h"
#include "CalcSpreadsheetFactory.h"
#include "SavedValues.h"
#include "StampCheck.h"
#include "StampFile.h"
#include "TimestampAuthority.h"
#include "TimestampClient.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {
void report(const char *what, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("  %-46s median %9.2f ms, worst %9.2f ms (%lld times)\n", what, ms[ms.size() / 2], ms.last(),
                static_cast<long long>(ms.size()));
}

// What the stream parser makes of a record line: six cells.
QList<QList<CellValue>> recordRows(qint64 lines)
{
    QList<QList<CellValue>> rows;
    rows.reserve(lines);
    for (qint64 i = 0; i < lines; ++i)
        rows.append(QList<CellValue>{double(i), QStringLiteral("::"), double(1000 + i * 37 % 90000),
                                     QStringLiteral("(RAW)"), double(20 + i % 7), QStringLiteral("(C)")});
    return rows;
}

int valuesCase(qint64 lines)
{
    QTemporaryDir work;
    const QString raw = work.filePath("2026-12-07_08-00-00_COM5.raw");
    std::printf("values: a workbook of %lld record lines, %lld cells\n", static_cast<long long>(lines),
                static_cast<long long>(lines * 6));
    QList<Workbook::SheetValues> sheets;
    QList<double> officeMs;
    CalcSpreadsheetFactory factory;
    try {
        const std::shared_ptr<SpreadsheetApp> app = factory.createHeadless();
        const QString copy = work.filePath("spreadsheet.xls");
        QFile::copy(QCoreApplication::applicationDirPath() + "/spreadsheet.xls", copy);
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        std::shared_ptr<Workbook> book = app->open(copy);
        // A row at a time, as the run writes them; a write the office is slow
        // with is waited for.
        const QList<QList<CellValue>> rows = recordRows(lines);
        for (qsizetype r = 0; r < rows.size(); ++r) {
            try {
                app->setCells(std::int32_t(r + 1), 1, rows[r]);
            } catch (const SpreadsheetError &) {
                if (!app->awaitLateWrite(std::chrono::seconds(60)))
                    throw;
            }
        }
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            sheets = book->values();
            officeMs << t.nsecsElapsed() / 1e6;
        }
        book.reset();
        app->quit();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "office failed: %s\n", e.what());
        return 1;
    }
    report("the values read from the office", officeMs);
    QList<double> keepMs;
    QList<double> loadMs;
    QString hash;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        t.start();
        const Result<QString> kept = SavedValues::keep(raw, sheets);
        keepMs << t.nsecsElapsed() / 1e6;
        if (!kept) {
            std::fprintf(stderr, "not kept: %s\n", qPrintable(kept.failure().reason));
            return 1;
        }
        hash = *kept;
        t.start();
        const Result<QList<Workbook::SheetValues>> back = SavedValues::load(raw, hash);
        loadMs << t.nsecsElapsed() / 1e6;
        if (!back) {
            std::fprintf(stderr, "not loaded: %s\n", qPrintable(back.failure().reason));
            return 1;
        }
    }
    report("made, compressed and kept (synced)", keepMs);
    report("read, checked and decoded", loadMs);
    std::printf("  the values file: %.2f MB (%.1f bytes a line)\n",
                QFileInfo(SavedValues::pathFor(raw, hash)).size() / 1e6,
                double(QFileInfo(SavedValues::pathFor(raw, hash)).size()) / double(lines));
    return 0;
}

int stampCase(int entries)
{
    TimestampAuthority authority;
    if (!authority.ready())
        return 1;
    QTemporaryDir work;
    const QString raw = work.filePath("2026-12-07_08-00-00_COM5.raw");
    std::printf("stamp: %d record entries against a local authority\n", entries);
    for (const bool on : {false, true}) {
        TimestampClient client(on ? TimestampSettings{authority.url(), authority.caFile()} : TimestampSettings{});
        QList<double> callMs;
        QList<double> keptMs;
        QList<StampCheck::Entry> checked;
        for (int i = 0; i < entries; ++i) {
            const QByteArray digest =
                QCryptographicHash::hash(QByteArray::number(i) + (on ? "on" : "off"), QCryptographicHash::Sha256);
            checked.append({digest, QDateTime::currentDateTimeUtc(), QStringLiteral("entry %1").arg(i + 1)});
            bool kept = !on;
            QElapsedTimer t;
            t.start();
            client.stamp(digest, [&kept, &raw](const QByteArray &d, const QByteArray &token) {
                StampFile::append(raw, {d, token});
                kept = true;
            });
            callMs << t.nsecsElapsed() / 1e6;
            if (!waitUntil([&kept] { return kept; }, 30000)) {
                std::fprintf(stderr, "no stamp came\n");
                return 1;
            }
            keptMs << t.nsecsElapsed() / 1e6;
        }
        report(on ? "authority set: the call (the run waits this)" : "no authority: the call", callMs);
        if (!on)
            continue;
        report("authority set: until the token is kept", keptMs);
        QElapsedTimer t;
        t.start();
        const StampCheck::Outcome out = StampCheck::check(raw, checked, authority.caFile(), true);
        std::printf("  offline check of %d tokens: %.2f ms each%s\n", entries, t.nsecsElapsed() / 1e6 / entries,
                    out.failed ? " (FAILED)" : "");
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString which = args.value(0);
    const qint64 count = args.value(1).toLongLong();
    int status = 0;
    if (which.isEmpty() || which == QLatin1String("values"))
        status |= valuesCase(count > 0 ? count : 70000);
    if (which.isEmpty() || which == QLatin1String("stamp"))
        status |= stampCase(count > 0 ? int(count) : 50);
    return status;
}
