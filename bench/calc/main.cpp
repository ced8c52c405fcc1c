// Write rates of the Calc component, each on an office of its own. Record
// lines of six values (numbers and text) are written
//  - as a rebuild writes them (the plain "calc cells/s" line): 70,000 lines,
//    a rebuild's size (a few of its blocks, so that one call's luck does not
//    make the figure), parsed by a SheetFeeder with a rebuild's block limits
//    into a workbook opened to be filled, headless;
//  - 3,334 lines, a call a line, into a headless workbook with a view, as a
//    run's tick writes them ("headless, with a view"), and the same without the view
//    ("headless, no view");
//  - a call a line in a visible office ("visible office"), only with a
//    display (run it under xvfb-run).
//  bench_calc [rebuild|view|noview|visible]...   the modes named (default: all)
//  bench_calc blocks                             a rebuild's rate by rows per
//                                                call, for choosing the block
// Also the office's start and the first write after it, once.
#include "CalcSpreadsheetFactory.h"
#include "RunReplay.h"
#include "SheetFeeder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

constexpr int kLines = 3334;
constexpr int kRebuildLines = 70000;

QList<CellValue> lineCells(int r)
{
    return {QString::number(r + 1), QStringLiteral("Well%1").arg(r % 96), QString::number(1000.0 + r * 0.37, 'f', 2),
            QStringLiteral("::"),   QString::number(r * 7 % 1000),        QStringLiteral("RLU")};
}

// The same lines as instrument text: record lines whose tokens are those
// values ("::" is left out of the cells, so one more token keeps six).
QByteArray recordText(int lines)
{
    QByteArray text;
    for (int r = 0; r < lines; ++r)
        text += QByteArray::number(r + 1) + " Well" + QByteArray::number(r % 96) + " :: "
                + QByteArray::number(1000.0 + r * 0.37, 'f', 2) + " " + QByteArray::number(r * 7 % 1000) + " RLU x\r\n";
    return text;
}

struct Bench {
    QTemporaryDir work;
    QString master = QStringLiteral(HALVERN_BIN_DIR) + "/spreadsheet.xls";
    int round = 0;

    QString freshCopy()
    {
        const QString copy = work.path() + QStringLiteral("/copy%1.xls").arg(++round);
        if (!QFile::copy(master, copy))
            throw SpreadsheetError(SpreadsheetError::Kind::Failed, "no master workbook at " + master);
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        return copy;
    }
};

// Cells a second of `write`, on a fresh office with a fresh copy opened by
// `open`.
double rate(Bench &bench, bool headless, bool fill, const std::function<qint64(SpreadsheetApp &)> &write)
{
    qputenv("HALVERN_OFFICE_HEADLESS", headless ? "1" : "0");
    CalcSpreadsheetFactory factory;
    auto calc = factory.create();
    const QString copy = bench.freshCopy();
    auto book = fill ? calc->openToFill(copy) : calc->open(copy);
    calc->setCells(1, 1, QList<CellValue>{QStringLiteral("Start"), 0.0}); // warm the sheet's look-up
    QElapsedTimer timer;
    timer.start();
    const qint64 cells = write(*calc);
    const double seconds = timer.nsecsElapsed() / 1e9;
    book.reset();
    calc->quit();
    return cells / seconds;
}

qint64 aCallALine(SpreadsheetApp &calc)
{
    for (int r = 0; r < kLines; ++r)
        calc.setCells(r + 2, 1, lineCells(r));
    return qint64{kLines} * 6;
}

qint64 asARebuild(SpreadsheetApp &calc, const QByteArray &text, qsizetype rowsPerCall)
{
    SheetFeeder feeder;
    StreamParser::Limits limits = RunReplay::blockLimits();
    limits.callRows = rowsPerCall;
    limits.callCells = std::max(limits.callCells, rowsPerCall * 7);
    feeder.setLimits(limits);
    feeder.receive(text);
    for (;;) {
        // As a replay does: a block still running after the call limit is
        // waited for.
        const StreamParser::Outcome outcome = feeder.write(&calc);
        if (outcome == StreamParser::Outcome::Busy && calc.awaitLateWrite(std::chrono::minutes(1)))
            continue;
        if (outcome != StreamParser::Outcome::Ok)
            throw SpreadsheetError(SpreadsheetError::Kind::Failed, "the rebuild's write did not take every line");
        if (!feeder.hasLine())
            break;
    }
    return feeder.counts().cellsWritten;
}

void firstWrite(Bench &bench)
{
    qputenv("HALVERN_OFFICE_HEADLESS", "1");
    CalcSpreadsheetFactory factory;
    QElapsedTimer sinceCreate;
    sinceCreate.start();
    auto calc = factory.create();
    const qint64 createMs = sinceCreate.elapsed();
    auto book = calc->openToFill(bench.freshCopy());
    calc->setCells(1, 1, QList<CellValue>{QStringLiteral("Start"), 0.0});
    std::printf("create ms: %lld\n", static_cast<long long>(createMs));
    std::printf("calc first write after create ms: %lld\n", static_cast<long long>(sinceCreate.elapsed()));
    book.reset();
    calc->quit();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Bench bench;
    // Keep the user's own data folder out of it.
    qputenv("XDG_DATA_HOME", (bench.work.path() + "/data").toUtf8());
    QStringList modes = app.arguments().mid(1);
    if (modes.isEmpty())
        modes = {"rebuild", "view", "noview", "visible"};
    const QByteArray lines = recordText(kRebuildLines);
    try {
        for (const QString &mode : modes) {
            if (mode == "rebuild") {
                firstWrite(bench);
                const double r = rate(bench, true, true,
                                      [&](SpreadsheetApp &c) { return asARebuild(c, lines, RunReplay::kBlockRows); });
                std::printf("calc cells/s: %.0f\n", r);
            } else if (mode == "view") {
                std::printf("calc cells/s (headless, with a view): %.0f\n", rate(bench, true, false, aCallALine));
            } else if (mode == "noview") {
                std::printf("calc cells/s (headless, no view): %.0f\n", rate(bench, true, true, aCallALine));
            } else if (mode == "visible") {
                if (qEnvironmentVariableIsEmpty("DISPLAY"))
                    std::printf("calc cells/s (visible office): skipped, no display\n");
                else
                    std::printf("calc cells/s (visible office): %.0f\n", rate(bench, false, false, aCallALine));
            } else if (mode == "blocks") {
                const QByteArray &many = lines;
                for (const qsizetype rows : {100, 500, 1000, 2000, 4000, 8000, 16000, 70000})
                    std::printf("calc cells/s (rebuild, %lld rows a call): %.0f\n", static_cast<long long>(rows),
                                rate(bench, true, true, [&](SpreadsheetApp &c) { return asARebuild(c, many, rows); }));
            } else {
                std::fprintf(stderr, "bench_calc: no mode %s\n", qPrintable(mode));
                return 2;
            }
            std::fflush(stdout);
        }
    } catch (const SpreadsheetError &e) {
        std::fprintf(stderr, "spreadsheet error: %s\n", e.what());
        return 1;
    }
    return 0;
}
