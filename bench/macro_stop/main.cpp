// From Stop to the save dialog: a run of 200 record lines stopped without a
// macro, and the same run stopped with the trivial VBA macro
// PERSONAL.XLS!MarkRun from a Personal.xls in XLSTART. Rounds alternate; each
// starts its own headless office. Prints the median and the spread of both,
// and the difference of the medians (the goal: under 0.5 s). Then the same
// run's workbook rebuilt from its journal, with and without the macro: from
// the start of the rebuild (its office included) to the save dialog.
// Usage: bench_macro_stop [rounds]  (default 5)
#include "../common/PrivateHome.h"
#include "AcquisitionRun.h"
#include "CalcSpreadsheetFactory.h"
#include "ConsoleMessageBoxes.h"
#include "FakeEmulatorFeed.h"
#include "FakeSerialComm.h"
#include "MacroSettings.h"
#include "NullAcquisitionView.h"
#include "OfficeProbe.h"
#include "SavedSheet.h"
#include "StopMacro.h"
#include "WorkbookRebuild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <optional>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// Notes the status line, to tell a macro that did not run.
class BenchView : public NullAcquisitionView {
public:
    void setStatusText(const QString &text) override { status = text; }
    QString status;
};

// Lets the events of the calls in the background in until `busy` no longer holds.
void waitWhile(const std::function<bool()> &busy)
{
    while (busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("  %-28s median %7.1f ms  (min %.1f, max %.1f, %zu rounds)\n", what, median(ms),
                ms.empty() ? 0 : ms.front(), ms.empty() ? 0 : ms.back(), ms.size());
}
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!QFileInfo::exists(programFolder + "/spreadsheet.xls")) {
        std::fprintf(stderr, "no master workbook in %s\n", qPrintable(programFolder));
        return 1;
    }
    const QString xlstart = home.path() + "/.local/share/Halvern/XLSTART";
    QDir().mkpath(xlstart);
    QDir().mkpath(home.path() + "/Documents");
    OfficeProbe().makeMacroWorkbook(xlstart + "/Personal.xls",
                                    {{"Module1", "Sub MarkRun()\n  Range(\"H1\").Value = \"marked\"\nEnd Sub\n"}});

    std::optional<Clock::time_point> asked;
    const QString saveAs = home.path() + "/Documents/run.xls";
    CalcSpreadsheetFactory factory([&asked, &saveAs](const QString &, const QString &) {
        asked = Clock::now(); // the figure ends at the dialog
        return saveAs;
    });
    FakeSerialComm comm;
    FakeEmulatorFeed feed;
    BenchView view;
    ConsoleMessageBoxes boxes("bench");
    AcquisitionRun run(view, comm, factory, boxes, feed, programFolder);
    run.setDocumentsLookup([&home](QString &folder) {
        folder = home.path() + "/Documents";
        return true;
    });
    run.setJournalFolder(home.path() + "/runs");

    QByteArray lines;
    for (int i = 1; i <= 200; ++i)
        lines += QByteArray::number(i) + " :: 12-07-2026 10:00:00 = " + QByteArray::number(1000 + i) + " (RAW)\r\n";

    std::vector<double> without, with;
    for (int r = 0; r < 2 * rounds; ++r) {
        const bool useMacro = r % 2 == 1;
        QFile::remove(home.path() + "/Documents/spreadsheet.xls"); // a fresh copy of the master each time
        run.start();
        if (run.state() != RunState::Running) {
            std::fprintf(stderr, "the run did not start\n");
            return 1;
        }
        comm.pending = lines;
        run.tick();
        const MacroSettings macro{useMacro, QStringLiteral("PERSONAL.XLS!MarkRun")};
        asked.reset();
        const auto stopped = Clock::now();
        run.stop(macro);
        waitWhile([&run] { return run.stopping(); }); // the macro runs on in the background
        if (view.status == QLatin1String("User macro did NOT run.")) {
            std::fprintf(stderr, "the macro did not run (round %d)\n", r);
            return 1;
        }
        if (!asked) {
            std::fprintf(stderr, "Stop asked for no name (round %d)\n", r);
            return 1;
        }
        (useMacro ? with : without).push_back(std::chrono::duration<double, std::milli>(*asked - stopped).count());
    }
    // The macro did its work on the working copy, not on Personal.xls.
    if (SavedSheet::read(saveAs).at(1, 8) != QLatin1String("marked")) {
        std::fprintf(stderr, "the macro's mark is not in the saved workbook\n");
        return 1;
    }
    std::printf("Stop to the save dialog, 200 rows, headless office:\n");
    report("without a macro:", without);
    report("with PERSONAL.XLS!MarkRun:", with);
    std::printf("  the macro adds %.1f ms (goal: under 500 ms)\n", median(with) - median(without));

    const QString raw = run.journal().rawPath();
    const QString documents = home.path() + "/Documents";
    std::vector<double> rebuiltWithout, rebuiltWith;
    for (int r = 0; r < 2 * rounds; ++r) {
        const bool useMacro = r % 2 == 1;
        const MacroSettings macro{true, QStringLiteral("PERSONAL.XLS!MarkRun")};
        std::optional<Clock::time_point> saving;
        WorkbookRebuild::Steps steps;
        if (useMacro)
            steps.macro = [&macro, &view](SpreadsheetApp &office, MacroCall::Done done) {
                StopMacro::start(office, macro, view, std::move(done), true);
            };
        steps.save = [&saving](SpreadsheetApp &, Workbook &, const QString &) -> std::optional<Failure> {
            saving = Clock::now();
            return std::nullopt;
        };
        WorkbookRebuild rebuild(factory, programFolder, documents, documents, std::move(steps));
        const auto started = Clock::now();
        std::optional<std::optional<Failure>> ended;
        rebuild.make(raw, [&ended](const std::optional<Failure> &failure) { ended = failure; });
        waitWhile([&ended] { return !ended; });
        const std::optional<Failure> failure = *ended;
        if (failure || !saving || (useMacro && rebuild.macro().outcome != MacroCall::Outcome::Ran)) {
            std::fprintf(stderr, "the rebuild failed (round %d): %s %s\n", r,
                         qPrintable(failure ? failure->reason : QString()), qPrintable(rebuild.macro().reason));
            return 1;
        }
        (useMacro ? rebuiltWith : rebuiltWithout)
            .push_back(std::chrono::duration<double, std::milli>(*saving - started).count());
    }
    std::printf("Rebuild from the journal to the save dialog, 200 rows, headless office:\n");
    report("without a macro:", rebuiltWithout);
    report("with PERSONAL.XLS!MarkRun:", rebuiltWith);
    return 0;
}
