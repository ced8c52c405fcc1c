// Starts a headless office, opens a copy of the master workbook and writes
// 3,334 lines of 6 values (numbers and text) with one setCells call a line,
// as the acquisition does. Prints the write rate and the time from create to
// the first completed write.
#include "CalcSpreadsheetFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {
// A one-sheet workbook in flat OpenDocument form, used when no master
// workbook has been built yet.
const char kFlatWorkbook[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Sheet1"><table:table-row><table:table-cell/></table:table-row></table:table></office:spreadsheet></office:body>
</office:document>
)";
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    // Keep the user's own data folder out of it.
    qputenv("XDG_DATA_HOME", (work.path() + "/data").toUtf8());
    qputenv("HALVERN_OFFICE_HEADLESS", "1");

    const QString copy = work.path() + "/spreadsheet.xls";
    const QString master = QStringLiteral(HALVERN_BIN_DIR) + "/spreadsheet.xls";
    bool haveMaster = QFile::copy(master, copy);

    try {
        CalcSpreadsheetFactory factory;
        QElapsedTimer sinceCreate;
        sinceCreate.start();
        auto calc = factory.create();
        const qint64 createMs = sinceCreate.elapsed();
        if (!haveMaster) {
            const QString flat = work.path() + "/master.fods";
            QFile f(flat);
            f.open(QIODevice::WriteOnly);
            f.write(kFlatWorkbook);
            f.close();
            calc->open(flat)->saveAs(copy);
            calc->quit();
            sinceCreate.restart(); // measure on a fresh office, as a run does
            calc = factory.create();
        }
        auto book = calc->open(copy);
        QList<CellValue> first{QStringLiteral("Start"), 0.0};
        calc->setCells(1, 1, first);
        const qint64 firstWriteMs = sinceCreate.elapsed();

        const int rows = 3334;
        QElapsedTimer timer;
        timer.start();
        for (int r = 0; r < rows; ++r) {
            QList<CellValue> line{
                QString::number(r + 1),
                QStringLiteral("Well%1").arg(r % 96),
                QString::number(1000.0 + r * 0.37, 'f', 2),
                QStringLiteral("::"),
                QString::number(r * 7 % 1000),
                QStringLiteral("RLU"),
            };
            calc->setCells(r + 2, 1, line);
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("create ms: %lld\n", static_cast<long long>(createMs));
        std::printf("calc cells/s: %.0f\n", rows * 6 / seconds);
        std::printf("calc first write after create ms: %lld\n", static_cast<long long>(firstWriteMs));
        book->saveAs(work.path() + "/filled.xls");
        calc->quit();
    } catch (const SpreadsheetError &e) {
        std::fprintf(stderr, "spreadsheet error: %s\n", e.what());
        return 1;
    }
    return 0;
}
