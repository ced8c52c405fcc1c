#include "FakeSpreadsheet.h"

#include <QFileInfo>

namespace {
SpreadsheetError failed(const QString &what)
{
    return SpreadsheetError(SpreadsheetError::Kind::Failed, what);
}
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

std::optional<CellValue> FakeWorkbook::cell(std::int32_t row, std::int32_t column,
                                            const QString &sheet) const
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

void FakeSpreadsheetApp::writeCells(std::int32_t row, std::int32_t column,
                                    const QList<CellValue> &values)
{
    if (onWrite)
        onWrite();
    check();
    if (cellFailure)
        throw SpreadsheetError(*cellFailure, "cell write refused");
    const auto b = m_active.lock();
    if (!b)
        throw failed("no active workbook");
    if (row < 1 || column < 1)
        throw failed("no such cell");
    auto &cells = b->sheets[b->activeSheet];
    for (qsizetype i = 0; i < values.size(); ++i)
        cells.insert({row, column + static_cast<std::int32_t>(i)}, values[i]);
    b->isSaved = false;
    writes.append({row, column, values});
}

void FakeSpreadsheetApp::setCell(std::int32_t row, std::int32_t column, const CellValue &value)
{
    writeCells(row, column, {value});
}

void FakeSpreadsheetApp::setCells(std::int32_t row, std::int32_t column,
                                  const QList<CellValue> &values)
{
    writeCells(row, column, values);
}

void FakeSpreadsheetApp::run(const QString &macro)
{
    check();
    runs.append(macro);
    if (!macros.contains(macro.toLower()))
        throw failed("macro not found: " + macro);
}

QList<std::shared_ptr<Workbook>> FakeSpreadsheetApp::workbooks()
{
    check();
    QList<std::shared_ptr<Workbook>> out;
    for (const auto &b : books)
        out.append(b);
    return out;
}

QString FakeSpreadsheetApp::getSaveAsFilename(const QString &initialFilename,
                                              const QString &fileFilter, const QString &title)
{
    check();
    saveDialogs.append({initialFilename, fileFilter, title});
    return saveAnswers.isEmpty() ? QStringLiteral("False") : saveAnswers.takeFirst();
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
