#include "RunsTableModel.h"

#include "LogCategories.h"
#include "RunArchiveState.h"

#include <QFileInfo>
#include <limits>
#include <utility>

namespace {
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
// What one tick reads of a running run at most: a long run already under way is caught up over a few ticks.
constexpr std::int64_t kRunningReadLimit = 8 * 1024 * 1024;

QString endText(const RunCatalog::Run &run)
{
    if (run.state == RunCatalog::State::Running)
        return QStringLiteral("running");
    if (run.state == RunCatalog::State::Damaged)
        return QString();
    if (run.state == RunCatalog::State::Unfinished || run.endedWithoutStop)
        return QStringLiteral("ended without Stop");
    return run.ended.toString(kStamp);
}

QString workbookText(const RunCatalog::Run &run)
{
    if (run.state == RunCatalog::State::Running)
        return QString();
    if (run.state == RunCatalog::State::Damaged)
        return RunCatalog::stateText(run.state) + QStringLiteral(": ") + run.damage;
    return run.savedAs.isEmpty() ? QStringLiteral("not saved") : run.savedAs;
}

// A time as a number to sort by; none sorts first.
qint64 sortTime(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// The end sorts as shown: a running run after every ended one, a damaged one (no end shown) first.
qint64 endSortTime(const RunCatalog::Run &run)
{
    if (run.state == RunCatalog::State::Running)
        return std::numeric_limits<qint64>::max();
    if (run.state == RunCatalog::State::Damaged)
        return std::numeric_limits<qint64>::min();
    return sortTime(run.ended);
}

// A check is kept while the run's files keep their sizes.
QString checkKey(const RunCatalog::Run &run) { return run.rawPath + '\n' + QString::number(run.diskBytes); }

bool checkable(const RunCatalog::Run &run)
{
    return run.state == RunCatalog::State::Saved || run.state == RunCatalog::State::NotSaved;
}
} // namespace

RunsTableModel::RunsTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int RunsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_runs.size());
}

int RunsTableModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant RunsTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_runs.size())
        return {};
    const RunCatalog::Run &run = m_runs[index.row()];
    const auto column = static_cast<Column>(index.column());
    if (role == Qt::TextAlignmentRole)
        return column == BytesColumn || column == LinesColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                              : QVariant();
    if (role == SortRole) {
        switch (column) {
        case StartColumn:
            return sortTime(run.started);
        case EndColumn:
            return endSortTime(run);
        case ComColumn:
            return run.comNumber;
        case BytesColumn:
            return qint64{run.bytes};
        case LinesColumn:
            return qint64{run.lines};
        default:
            return data(index, Qt::DisplayRole);
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case StartColumn:
        return run.started.toString(kStamp);
    case EndColumn:
        return endText(run);
    case ComColumn:
        return QStringLiteral("COM") + QString::number(run.comNumber);
    case DeviceColumn:
        return run.device;
    case BytesColumn:
        return QString::number(run.bytes);
    case LinesColumn:
        return run.lines >= 0 ? QString::number(run.lines) : QStringLiteral("counting...");
    case CheckedColumn: {
        if (!checkable(run))
            return QString();
        const QString verdict = m_verdicts.value(checkKey(run));
        return verdict.isEmpty() ? QStringLiteral("checking...") : verdict;
    }
    case ArchivedColumn:
        return m_archived.value(index.row());
    case WorkbookColumn:
        return workbookText(run);
    case ColumnCount:
        break;
    }
    return {};
}

QVariant RunsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case StartColumn:
        return QStringLiteral("Start");
    case EndColumn:
        return QStringLiteral("End");
    case ComColumn:
        return QStringLiteral("COM");
    case DeviceColumn:
        return QStringLiteral("Device");
    case BytesColumn:
        return QStringLiteral("Bytes");
    case LinesColumn:
        return QStringLiteral("Lines");
    case CheckedColumn:
        return QStringLiteral("Checked");
    case ArchivedColumn:
        return QStringLiteral("Archived");
    case WorkbookColumn:
        return QStringLiteral("Workbook");
    default:
        return {};
    }
}

void RunsTableModel::setRuns(QList<RunCatalog::Run> runs)
{
    beginResetModel();
    m_runs = std::move(runs);
    m_archived.clear();
    for (const RunCatalog::Run &run : std::as_const(m_runs))
        m_archived.append(m_archive ? m_archive->archivedText(run.rawPath) : QString());
    endResetModel();
}

QStringList RunsTableModel::unchecked() const
{
    QStringList out;
    for (const RunCatalog::Run &run : m_runs)
        if (checkable(run) && !m_verdicts.contains(checkKey(run)))
            out.append(run.rawPath);
    return out;
}

void RunsTableModel::setLines(const QString &rawPath, qint64 lines)
{
    for (int row = 0; row < m_runs.size(); ++row) {
        if (m_runs[row].rawPath == rawPath && m_runs[row].lines != lines) {
            m_runs[row].lines = lines;
            changed(row, LinesColumn);
        }
    }
}

void RunsTableModel::setVerdict(const QString &rawPath, const QString &verdict)
{
    for (int row = 0; row < m_runs.size(); ++row) {
        if (m_runs[row].rawPath == rawPath) {
            m_verdicts.insert(checkKey(m_runs[row]), verdict);
            changed(row, CheckedColumn);
        }
    }
}

bool RunsTableModel::updateRunning()
{
    bool anyRunning = false;
    for (int row = 0; row < m_runs.size(); ++row) {
        RunCatalog::Run &run = m_runs[row];
        if (run.state != RunCatalog::State::Running)
            continue;
        anyRunning = true;
        const qint64 bytes = QFileInfo(run.rawPath).size();
        if (bytes != run.bytes) {
            run.bytes = bytes;
            changed(row, BytesColumn);
        }
        RunCatalog::LineTally &tally = m_runningLines[run.rawPath];
        if (tally.offset > run.bytes)
            tally = {}; // made afresh after its files were removed
        if (!RunCatalog::countLinesOn(run.rawPath, tally, kRunningReadLimit))
            qCWarning(lcJournal) << "cannot count the lines of the running run" << run.rawPath;
        if (tally.offset >= run.bytes && run.lines != tally.ends.lines()) {
            run.lines = tally.ends.lines();
            changed(row, LinesColumn);
        }
    }
    return anyRunning;
}

void RunsTableModel::setArchive(const RunArchiveState *archive)
{
    m_archive = archive;
    updateArchived();
}

void RunsTableModel::updateArchived()
{
    for (int row = 0; row < m_runs.size(); ++row) {
        QString word = m_archive ? m_archive->archivedText(m_runs[row].rawPath) : QString();
        if (word != m_archived[row]) {
            m_archived[row] = std::move(word);
            changed(row, ArchivedColumn);
        }
    }
}

void RunsTableModel::changed(int row, Column column)
{
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole, SortRole});
}
