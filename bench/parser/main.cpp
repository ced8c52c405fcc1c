// Stream parser throughput: mixed record lines, TAB data lines and block
// separators parsed into a spreadsheet that only counts the cells. Prints MB/s
// for a 1 MB and a 10 MB text, each parsed as one backlog and fed in 1 KB
// pieces; equal figures for both sizes show the parse is linear. The backlog
// once more with an observer told of every line shows what telling costs.
#include "StreamParser.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <cstdio>

namespace {

class NullSheet : public SpreadsheetApp {
public:
    std::shared_ptr<Workbook> open(const QString &) override { return nullptr; }
    std::shared_ptr<Workbook> openHidden(const QString &) override { return nullptr; }
    void setVisible(bool) override {}
    QString startupPath() override { return {}; }
    void setCell(std::int32_t, std::int32_t, const CellValue &) override { ++cells; }
    void setCells(std::int32_t, std::int32_t, const QList<CellValue> &values) override { cells += values.size(); }
    QString addSheet() override { return QString(); }
    void run(const QString &, const std::function<void()> &) override {}
    QList<std::shared_ptr<Workbook>> workbooks() override { return {}; }
    std::optional<QString> getSaveAsFilename(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    void quit() override {}

    qint64 cells = 0;
};

QByteArray makeText(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 128);
    int n = 0;
    while (text.size() < size) {
        ++n;
        if (n % 200 == 0) {
            text += "\r\n\r\n\r\n";
        } else if (n % 2 == 0) {
            text += QByteArray::number(n % 97) + " " + QByteArray::number(n).rightJustified(4, '0')
                    + " :: 06/12/2026 14:30:00 = " + QByteArray::number(n * 7 % 100000) + " RLU\r\n";
        } else {
            text += QByteArray::number(n % 1000) + ".25\t" + QByteArray::number(n % 313) + ".5\t"
                    + QByteArray::number(n % 17) + "\r\n";
        }
    }
    return text;
}

struct Figures {
    double seconds;
    qint64 cells;
};

// Counts the lines it is told of.
class CountingObserver : public LineObserver {
public:
    void lineHandled(const LinePlace &place) override { lines += place.lines; }
    qint64 lines = 0;
};

Figures parseBacklog(const QByteArray &text, LineObserver *observer = nullptr)
{
    NullSheet sheet;
    StreamParser parser([] { return QTime(12, 0); });
    parser.setObserver(observer);
    QByteArray buffer = text;
    std::int32_t row = 1;
    std::int16_t column = 1;
    QElapsedTimer timer;
    timer.start();
    parser.parse(buffer, &sheet, row, column);
    return {timer.nsecsElapsed() / 1e9, sheet.cells};
}

Figures parseInPieces(const QByteArray &text, qsizetype piece)
{
    NullSheet sheet;
    StreamParser parser([] { return QTime(12, 0); });
    QByteArray buffer;
    std::int32_t row = 1;
    std::int16_t column = 1;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < text.size(); at += piece) {
        buffer.append(text.constData() + at, std::min(piece, text.size() - at));
        parser.parse(buffer, &sheet, row, column);
    }
    return {timer.nsecsElapsed() / 1e9, sheet.cells};
}

void report(const char *what, qsizetype bytes, const Figures &f)
{
    std::printf("%-22s %6.1f MB  %8.3f s  %8.1f MB/s  %10lld cells\n", what, bytes / 1e6, f.seconds,
                bytes / 1e6 / f.seconds, static_cast<long long>(f.cells));
}

} // namespace

int main()
{
    for (const qsizetype size : {qsizetype(1) << 20, qsizetype(10) << 20}) {
        const QByteArray text = makeText(size);
        // Best of three, to keep one slow run on a shared machine out of it.
        Figures backlog{1e9, 0}, pieces{1e9, 0}, observed{1e9, 0};
        CountingObserver observer;
        for (int i = 0; i < 3; ++i) {
            const Figures b = parseBacklog(text);
            if (b.seconds < backlog.seconds)
                backlog = b;
            const Figures o = parseBacklog(text, &observer);
            if (o.seconds < observed.seconds)
                observed = o;
            const Figures p = parseInPieces(text, 1024);
            if (p.seconds < pieces.seconds)
                pieces = p;
        }
        report(size < (qsizetype(2) << 20) ? "1 MB backlog" : "10 MB backlog", text.size(), backlog);
        report(size < (qsizetype(2) << 20) ? "1 MB in 1 KB pieces" : "10 MB in 1 KB pieces", text.size(), pieces);
        report(size < (qsizetype(2) << 20) ? "1 MB backlog observed" : "10 MB backlog observed", text.size(), observed);
    }
    return 0;
}
