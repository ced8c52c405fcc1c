#include "CalcSpreadsheetApp.h"

#include "CalcCore.h"
#include "CellText.h"

#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <atomic>
#include <limits>
#include <vector>

// The writes into the active sheet, each one office call, and the write the
// office may still be doing after its call gave up.

using Kind = SpreadsheetError::Kind;

namespace {
// What a value becomes in a cell: a number, or literal text.
Any cellAny(const CellValue &value)
{
    if (const double *d = std::get_if<double>(&value))
        return Any(*d);
    const QString &text = std::get<QString>(value);
    if (const auto number = CellText::plainNumber(text))
        return Any(*number);
    return Any(toOUString(text));
}

void checkPosition(std::int32_t row, std::int32_t column, qsizetype count)
{
    if (row < 1 || column < 1 || count < 0 || column - 1 + count > std::numeric_limits<std::int32_t>::max())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("No such cell: row %1, column %2").arg(row).arg(column));
}
} // namespace

void CalcSpreadsheetApp::setCell(std::int32_t row, std::int32_t column, const CellValue &value)
{
    checkPosition(row, column, 1);
    const Any any = cellAny(value);
    write([row, column, any](UnoState &state) {
        const Reference<css::table::XCell> cell = state.activeSheet()->getCellByPosition(column - 1, row - 1);
        double number = 0;
        if (any >>= number) {
            cell->setValue(number);
        } else {
            OUString text;
            any >>= text;
            // setString stores the text as it is: never a formula.
            Reference<css::text::XTextRange>(cell, UNO_QUERY_THROW)->setString(text);
        }
    });
}

void CalcSpreadsheetApp::setCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values)
{
    if (values.isEmpty())
        return;
    checkPosition(row, column, values.size());
    Sequence<Any> line(values.size());
    Any *cells = line.getArray();
    for (qsizetype i = 0; i < values.size(); ++i)
        cells[i] = cellAny(values[i]);
    const std::int32_t last = column - 1 + std::int32_t(values.size()) - 1;
    write([row, column, last, line](UnoState &state) {
        // One call for the whole line; text in a data array is stored like
        // setString does, numbers like setValue.
        const Reference<css::table::XCellRange> range =
            state.activeSheet()->getCellRangeByPosition(column - 1, row - 1, last, row - 1);
        Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(Sequence<Sequence<Any>>(&line, 1));
    });
}

// Consecutive rows in one office call: each run of rows of equal length is one
// setDataArray over its rectangle; empty rows are skipped.
void CalcSpreadsheetApp::setRows(std::int32_t row, std::int32_t column, const QList<QList<CellValue>> &rows)
{
    struct Block {
        std::int32_t row;
        std::int32_t width;
        Sequence<Sequence<Any>> data;
    };
    std::vector<Block> blocks;
    qsizetype i = 0;
    while (i < rows.size()) {
        const qsizetype width = rows[i].size();
        qsizetype j = i;
        while (j < rows.size() && rows[j].size() == width)
            ++j;
        if (width > 0) {
            checkPosition(row + std::int32_t(i), column, width);
            Sequence<Sequence<Any>> data(static_cast<std::int32_t>(j - i));
            Sequence<Any> *lines = data.getArray();
            for (qsizetype k = i; k < j; ++k) {
                Sequence<Any> line(static_cast<std::int32_t>(width));
                Any *cells = line.getArray();
                for (qsizetype c = 0; c < width; ++c)
                    cells[c] = cellAny(rows[k][c]);
                lines[k - i] = line;
            }
            blocks.push_back({row + std::int32_t(i), std::int32_t(width), data});
        }
        i = j;
    }
    if (blocks.empty())
        return;
    write([column, blocks](UnoState &state) {
        const auto sheet = state.activeSheet();
        for (const Block &b : blocks) {
            const Reference<css::table::XCellRange> range = sheet->getCellRangeByPosition(
                column - 1, b.row - 1, column - 1 + b.width - 1, b.row - 1 + b.data.getLength() - 1);
            Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(b.data);
        }
    });
}

void CalcSpreadsheetApp::write(std::function<void(UnoState &)> fn)
{
    auto end = std::make_shared<std::atomic<LateWrite>>(LateWrite::Running);
    try {
        m_core->call<void>(CalcCore::kCallLimit, [fn = std::move(fn), end](UnoState &state) {
            try {
                fn(state);
            } catch (...) {
                *end = LateWrite::Failed;
                throw;
            }
            *end = LateWrite::Written;
        });
    } catch (const SpreadsheetError &e) {
        // A write refused at once never started; the one outstanding (if
        // any) stays the one to tell about.
        if (e.stillRunning())
            m_late = end;
        throw;
    }
}

SpreadsheetApp::LateWrite CalcSpreadsheetApp::lateWrite()
{
    if (!m_late)
        return LateWrite::None;
    LateWrite end = *m_late;
    if (end == LateWrite::Running && m_core->ended())
        end = LateWrite::Failed; // the office is gone: it will not end now
    if (end != LateWrite::Running)
        m_late.reset(); // told once
    return end;
}

bool CalcSpreadsheetApp::awaitLateWrite(std::chrono::milliseconds limit)
{
    return m_late && m_core->awaitPending(limit);
}
