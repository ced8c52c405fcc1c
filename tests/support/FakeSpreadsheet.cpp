#include "FakeSpreadsheet.h"

#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace {
SpreadsheetError failed(const QString &what) { return SpreadsheetError(SpreadsheetError::Kind::Failed, what); }
} // namespace

// ---- FakeWorkbook -----------------------------------------------------------

FakeWorkbook::FakeWorkbook(FakeSpreadsheetApp *app, const QString &p)
    : path(p), fileName(QFileInfo(p).fileName()), m_app(app)
{
}

QString FakeWorkbook::name()
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    return fileName;
}

void FakeWorkbook::activate()
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    for (const auto &b : m_app->books)
        if (b.get() == this)
            m_app->setActive(b);
}

bool FakeWorkbook::saved()
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    return isSaved;
}

void FakeWorkbook::saveAs(const QString &p)
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    savedAs.append(p);
    path = p;
    fileName = QFileInfo(p).fileName();
    isSaved = true;
}

Workbook::UsedArea FakeWorkbook::usedArea()
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    return area;
}

void FakeWorkbook::setCustomProperties(const Properties &set)
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    for (const auto &property : set) {
        auto same = std::find_if(properties.begin(), properties.end(),
                                 [&property](const auto &p) { return p.first == property.first; });
        if (same != properties.end())
            same->second = property.second;
        else
            properties.append(property);
    }
}

Workbook::Properties FakeWorkbook::customProperties()
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    return properties;
}

QList<Workbook::SheetValues> FakeWorkbook::values()
{
    if (m_app->gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "gone");
    QList<SheetValues> all;
    for (auto sheet = sheets.cbegin(); sheet != sheets.cend(); ++sheet) {
        SheetValues values{sheet.key(), {}};
        for (auto c = sheet->cbegin(); c != sheet->cend(); ++c) {
            const auto [row, column] = c.key();
            while (values.rows.size() < row)
                values.rows.append(QList<CellValue>());
            QList<CellValue> &cells = values.rows[row - 1];
            while (cells.size() < column)
                cells.append(QString());
            cells[column - 1] = c.value();
        }
        all.append(values);
    }
    return all;
}

std::optional<CellValue> FakeWorkbook::cell(std::int32_t row, std::int32_t column, const QString &sheet) const
{
    const Cells cells = sheets.value(sheet.isEmpty() ? activeSheet : sheet);
    const auto it = cells.find({row, column});
    if (it == cells.end())
        return std::nullopt;
    return *it;
}

QString FakeWorkbook::text(std::int32_t row, std::int32_t column, const QString &sheet) const
{
    const auto value = cell(row, column, sheet);
    if (!value || !std::holds_alternative<QString>(*value))
        return QString();
    return std::get<QString>(*value);
}

// ---- FakeSpreadsheetApp -------------------------------------------------------

void FakeSpreadsheetApp::check() const
{
    if (gone)
        throw SpreadsheetError(SpreadsheetError::Kind::Gone, "the application has ended");
}

std::shared_ptr<FakeWorkbook> FakeSpreadsheetApp::book(const QString &name) const
{
    for (const auto &b : books)
        if (b->fileName.compare(name, Qt::CaseInsensitive) == 0)
            return b;
    return nullptr;
}

std::shared_ptr<Workbook> FakeSpreadsheetApp::open(const QString &path)
{
    check();
    opened.append(path);
    if (failOpen.contains(path) || !QFileInfo(path).isFile())
        throw failed("cannot open " + path);
    auto b = std::make_shared<FakeWorkbook>(this, path);
    books.append(b);
    m_active = b;
    return b;
}

std::shared_ptr<Workbook> FakeSpreadsheetApp::openHidden(const QString &path)
{
    const auto active = m_active;
    hidden.append(path);
    auto b = open(path);
    m_active = active;
    return b;
}

void FakeSpreadsheetApp::setVisible(bool v)
{
    check();
    if (failVisible)
        throw failed("cannot show");
    visible = v;
}

QString FakeSpreadsheetApp::startupPath()
{
    check();
    return startup;
}

bool FakeSpreadsheetApp::startWrite()
{
    check();
    if (m_held)
        throw SpreadsheetError(SpreadsheetError::Kind::Busy, "an earlier write is still running");
    if (cellFailure)
        throw SpreadsheetError(*cellFailure, "cell write refused");
    return timeOut && timeOut();
}

void FakeSpreadsheetApp::store(std::int32_t row, std::int32_t column, const QList<CellValue> &values)
{
    const auto b = m_active.lock();
    if (!b)
        throw failed("no active workbook");
    if (row < 1 || column < 1 || row > lastRow || column - 1 + values.size() > lastColumn)
        throw failed("no such cell");
    cellsWritten += values.size();
    b->isSaved = false;
    if (!values.isEmpty()) {
        b->area.rows = std::max(b->area.rows, row);
        b->area.columns = std::max(b->area.columns, column - 1 + static_cast<std::int32_t>(values.size()));
    }
    if (!keepCells)
        return;
    auto &cells = b->sheets[b->activeSheet];
    for (qsizetype i = 0; i < values.size(); ++i)
        cells.insert({row, column + static_cast<std::int32_t>(i)}, values[i]);
    writes.append({row, column, values});
}

void FakeSpreadsheetApp::writeCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values)
{
    if (onWrite)
        onWrite();
    try {
        if (startWrite()) {
            m_held = Held{row, column, {values}};
            throw SpreadsheetError(SpreadsheetError::Kind::Busy, "write outlived its limit", true);
        }
        store(row, column, values);
    } catch (...) {
        ++failedWrites;
        throw;
    }
}

void FakeSpreadsheetApp::setCell(std::int32_t row, std::int32_t column, const CellValue &value)
{
    writeCells(row, column, {value});
}

void FakeSpreadsheetApp::setCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values)
{
    writeCells(row, column, values);
}

void FakeSpreadsheetApp::setRows(std::int32_t row, std::int32_t column, const QList<QList<CellValue>> &rows)
{
    ++rowBatches;
    bool hold = false;
    try {
        hold = startWrite();
    } catch (...) {
        ++failedWrites;
        throw;
    }
    if (hold) {
        ++failedWrites;
        m_held = Held{row, column, rows};
        throw SpreadsheetError(SpreadsheetError::Kind::Busy, "write outlived its limit", true);
    }
    // Row by row, so a failure leaves the rows before it written.
    const auto saved = std::exchange(timeOut, nullptr);
    try {
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (!rows[i].isEmpty())
                writeCells(row + static_cast<std::int32_t>(i), column, rows[i]);
    } catch (...) {
        timeOut = saved;
        throw;
    }
    timeOut = saved;
}

void FakeSpreadsheetApp::finishLateWrite(bool written)
{
    if (!m_held)
        return;
    const Held held = *std::exchange(m_held, std::nullopt);
    m_lateEnd = LateWrite::Failed;
    if (!written)
        return;
    try {
        for (qsizetype i = 0; i < held.rows.size(); ++i)
            if (!held.rows[i].isEmpty())
                store(held.row + static_cast<std::int32_t>(i), held.column, held.rows[i]);
        m_lateEnd = LateWrite::Written;
    } catch (const SpreadsheetError &) {
    }
}

SpreadsheetApp::LateWrite FakeSpreadsheetApp::lateWrite()
{
    if (m_held)
        return LateWrite::Running;
    return std::exchange(m_lateEnd, LateWrite::None);
}

void FakeSpreadsheetApp::run(const QString &macro, const std::function<void()> &)
{
    check();
    runs.append(macro);
    if (failingMacros.contains(macro.toLower()))
        throw failed(failingMacros.value(macro.toLower()));
    if (!macros.contains(macro.toLower()))
        throw SpreadsheetError(SpreadsheetError::Kind::Missing, "macro not found: " + macro);
    if (onRun)
        onRun();
}

QList<std::shared_ptr<Workbook>> FakeSpreadsheetApp::workbooks()
{
    check();
    QList<std::shared_ptr<Workbook>> out;
    for (const auto &b : books)
        out.append(b);
    return out;
}

std::optional<QString> FakeSpreadsheetApp::getSaveAsFilename(const QString &initialFilename, const QString &fileFilter,
                                                             const QString &title)
{
    check();
    saveDialogs.append({initialFilename, fileFilter, title});
    if (saveAnswers.isEmpty())
        return std::nullopt;
    return saveAnswers.takeFirst();
}

void FakeSpreadsheetApp::quit()
{
    check();
    ++quitCount;
    gone = true;
}

// ---- FakeSpreadsheetFactory -----------------------------------------------------

std::shared_ptr<FakeSpreadsheetApp> FakeSpreadsheetFactory::prepare()
{
    if (!m_prepared)
        m_prepared = std::make_shared<FakeSpreadsheetApp>();
    return m_prepared;
}

std::shared_ptr<SpreadsheetApp> FakeSpreadsheetFactory::create()
{
    if (failCreate)
        throw SpreadsheetError(SpreadsheetError::Kind::Failed, "not installed");
    auto app = m_prepared ? m_prepared : std::make_shared<FakeSpreadsheetApp>();
    m_prepared.reset();
    created.append(app);
    return app;
}

QString FakeSpreadsheetApp::addSheet()
{
    check();
    const auto b = m_active.lock();
    if (!b)
        throw SpreadsheetError(SpreadsheetError::Kind::Failed, "no active workbook");
    QString name;
    for (int n = 2; name.isEmpty() || b->sheets.contains(name); ++n)
        name = QStringLiteral("Sheet1 ") + QString::number(n);
    b->sheets[name];
    b->activeSheet = name;
    addedSheets.append(name);
    return name;
}
