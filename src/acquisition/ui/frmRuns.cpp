#include "frmRuns.h"

#include "MessageBoxes.h"
#include "PrivateFolder.h"
#include "RunArchiveState.h"
#include "RunCheck.h"
#include "RunChecker.h"
#include "RunLineCounter.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kTitle = QStringLiteral("Runs");
// Changes in the folder come in bursts (a run's three files): one refresh for each burst.
constexpr int kRefreshDelayMs = 200;
constexpr int kRunningTickMs = 1000;
// The archive sends on its own thread; its word is asked for this often.
constexpr int kArchiveTickMs = 2000;

QString sizeText(std::int64_t bytes)
{
    if (bytes < 1000 * 1000)
        return QString::number((bytes + 999) / 1000) + QStringLiteral(" kB");
    return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}
} // namespace

frmRuns::frmRuns(QString folder, MessageBoxes &boxes, MakeWorkbook makeWorkbook, QWidget *parent)
    : QDialog(parent), m_folder(std::move(folder)), m_boxes(boxes), m_makeWorkbook(std::move(makeWorkbook))
{
    setObjectName(QStringLiteral("frmRuns"));
    setWindowTitle(kTitle);
    setModal(false);
    buildControls();

    m_counter = new RunLineCounter(this);
    connect(m_counter, &RunLineCounter::counted, m_model, &RunsTableModel::setLines);
    m_checker = new RunChecker(this);
    connect(m_checker, &RunChecker::checked, this, &frmRuns::runChecked);
    m_refreshSoon = new QTimer(this);
    m_refreshSoon->setSingleShot(true);
    m_refreshSoon->setInterval(kRefreshDelayMs);
    connect(m_refreshSoon, &QTimer::timeout, this, &frmRuns::refresh);
    m_runningTick = new QTimer(this);
    m_runningTick->setInterval(kRunningTickMs);
    connect(m_runningTick, &QTimer::timeout, this, &frmRuns::updateRunning);
    if (!QDir(m_folder).exists())
        PrivateFolder::make(m_folder);
    m_watcher = new QFileSystemWatcher(QStringList{m_folder}, this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_refreshSoon, qOverload<>(&QTimer::start));
    refresh();
}

frmRuns::~frmRuns() = default;

void frmRuns::buildControls()
{
    m_model = new RunsTableModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(RunsTableModel::SortRole);
    grdRuns = new QTableView(this);
    grdRuns->setModel(m_sorted);
    grdRuns->setSortingEnabled(true);
    grdRuns->sortByColumn(StartColumn, Qt::DescendingOrder);
    grdRuns->setColumnHidden(ArchivedColumn, true);
    grdRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdRuns->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdRuns->verticalHeader()->hide();
    grdRuns->horizontalHeader()->setStretchLastSection(true);
    // Column widths from the first rows: measuring a thousand runs would slow the opening.
    grdRuns->horizontalHeader()->setResizeContentsPrecision(50);
    grdRuns->setWordWrap(false);
    connect(grdRuns->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmRuns::updateButtons);

    lblFolder = new QLabel(this);
    lblFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdMakeWorkbook = new QPushButton(QStringLiteral("Make workbook..."), this);
    cmdMakeWorkbook->setDefault(true); // Enter
    cmdVerify = new QPushButton(QStringLiteral("Verify..."), this);
    cmdShowFiles = new QPushButton(QStringLiteral("Show files"), this);
    cmdDelete = new QPushButton(QStringLiteral("Delete..."), this);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdVerify->setAutoDefault(false);
    cmdShowFiles->setAutoDefault(false);
    cmdDelete->setAutoDefault(false);
    cmdClose->setAutoDefault(false);
    connect(cmdMakeWorkbook, &QPushButton::clicked, this, &frmRuns::cmdMakeWorkbook_Click);
    connect(cmdVerify, &QPushButton::clicked, this, &frmRuns::cmdVerify_Click);
    connect(cmdShowFiles, &QPushButton::clicked, this, &frmRuns::cmdShowFiles_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmRuns::cmdDelete_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdMakeWorkbook);
    buttons->addWidget(cmdVerify);
    buttons->addWidget(cmdShowFiles);
    buttons->addWidget(cmdDelete);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grdRuns);
    layout->addWidget(lblFolder);
    layout->addLayout(buttons);
    resize(900, 420);
}

void frmRuns::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Delete)) {
        cmdDelete_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmRuns::refresh()
{
    QStringList selected;
    for (const RunCatalog::Run &run : selectedRuns())
        selected.append(run.rawPath);
    std::int64_t total = 0;
    QList<RunCatalog::Run> runs = RunCatalog::scan(m_folder, &total);
    lblFolder->setText(QStringLiteral("%1 runs in %2, %3").arg(runs.size()).arg(m_folder, sizeText(total)));
    QStringList toCount;
    for (const RunCatalog::Run &run : std::as_const(runs))
        if (run.lines < 0 && run.state != RunCatalog::State::Running)
            toCount.append(run.rawPath);

    grdRuns->setUpdatesEnabled(false);
    m_model->setRuns(std::move(runs));
    grdRuns->resizeColumnsToContents();
    grdRuns->setUpdatesEnabled(true);
    m_counter->count(toCount);
    m_checker->check(m_model->unchecked());
    selectRuns(selected);
    updateRunning();
}

void frmRuns::updateRunning()
{
    // Ticks only while a run is listed running; the folder's watcher brings the next one.
    const bool anyRunning = m_model->updateRunning();
    if (anyRunning && !m_runningTick->isActive())
        m_runningTick->start();
    else if (!anyRunning)
        m_runningTick->stop();
}

void frmRuns::runChecked(const QString &rawPath, const QString &verdict)
{
    m_model->setVerdict(rawPath, verdict);
    grdRuns->resizeColumnToContents(CheckedColumn); // "not recorded" is wider than "checking..."
}

void frmRuns::setArchiveState(const RunArchiveState *archive)
{
    grdRuns->setColumnHidden(ArchivedColumn, archive == nullptr);
    if (!m_archiveTick) {
        m_archiveTick = new QTimer(this);
        m_archiveTick->setInterval(kArchiveTickMs);
        connect(m_archiveTick, &QTimer::timeout, m_model, &RunsTableModel::updateArchived);
    }
    if (archive)
        m_archiveTick->start();
    else
        m_archiveTick->stop();
    m_model->setArchive(archive);
    grdRuns->resizeColumnToContents(ArchivedColumn);
}

QList<RunCatalog::Run> frmRuns::runs() const
{
    QList<RunCatalog::Run> out;
    out.reserve(m_sorted->rowCount());
    for (int row = 0; row < m_sorted->rowCount(); ++row)
        out.append(m_model->run(m_sorted->mapToSource(m_sorted->index(row, 0)).row()));
    return out;
}

void frmRuns::selectRuns(const QStringList &rawPaths)
{
    grdRuns->clearSelection();
    bool first = true;
    for (int row = 0; row < m_sorted->rowCount(); ++row) {
        const QModelIndex index = m_sorted->index(row, 0);
        if (!rawPaths.contains(m_model->run(m_sorted->mapToSource(index).row()).rawPath))
            continue;
        grdRuns->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (std::exchange(first, false))
            grdRuns->scrollTo(index);
    }
    updateButtons();
}

QList<RunCatalog::Run> frmRuns::selectedRuns() const
{
    QList<RunCatalog::Run> out;
    if (!grdRuns)
        return out;
    QModelIndexList rows = grdRuns->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end()); // in the table's order
    for (const QModelIndex &index : std::as_const(rows))
        out.append(m_model->run(m_sorted->mapToSource(index).row()));
    return out;
}

void frmRuns::updateButtons()
{
    const QList<RunCatalog::Run> selected = selectedRuns();
    const bool anyRunning = std::any_of(selected.begin(), selected.end(), [](const RunCatalog::Run &run) {
        return run.state == RunCatalog::State::Running;
    });
    cmdMakeWorkbook->setEnabled(!selected.isEmpty() && !anyRunning);
    cmdDelete->setEnabled(!selected.isEmpty() && !anyRunning);
    cmdVerify->setEnabled(selected.size() == 1 && !anyRunning);
}

void frmRuns::cmdVerify_Click()
{
    const QList<RunCatalog::Run> selected = selectedRuns();
    if (!cmdVerify->isEnabled() || selected.size() != 1)
        return;
    const RunCheck::Result result = RunCheck::run(selected[0].rawPath);
    m_boxes.show(result.lines.join('\n'), QStringLiteral("Verify"));
}

void frmRuns::cmdMakeWorkbook_Click()
{
    const QList<RunCatalog::Run> selected = selectedRuns();
    if (!cmdMakeWorkbook->isEnabled() || selected.isEmpty() || !m_makeWorkbook)
        return;
    setEnabled(false); // until every workbook is made
    makeWorkbooks(selected);
}

void frmRuns::makeWorkbooks(QList<RunCatalog::Run> runs)
{
    while (!runs.isEmpty()) {
        const RunCatalog::Run run = runs.takeFirst();
        if (run.bytes > 0) {
            m_makeWorkbook(run.rawPath, [window = QPointer<frmRuns>(this), runs] {
                if (window) // it may have been closed meanwhile
                    window->makeWorkbooks(runs);
            });
            return;
        }
        m_boxes.show(QStringLiteral("The run started %1 on COM%2 received nothing: there is no workbook to make.")
                         .arg(run.started.toString(kStamp))
                         .arg(run.comNumber),
                     kTitle);
    }
    setEnabled(true);
    refresh();
}

void frmRuns::cmdShowFiles_Click() { QDesktopServices::openUrl(QUrl::fromLocalFile(m_folder)); }

void frmRuns::cmdDelete_Click()
{
    const QList<RunCatalog::Run> selected = selectedRuns();
    if (!cmdDelete->isEnabled() || selected.isEmpty())
        return;
    const QString which = selected.size() == 1 ? QStringLiteral("the run started %1 on COM%2")
                                                     .arg(selected[0].started.toString(kStamp))
                                                     .arg(selected[0].comNumber)
                                               : QStringLiteral("these %1 runs").arg(selected.size());
    const QString question = QStringLiteral("Delete the files of %1? What they received cannot be made into a "
                                            "workbook afterwards.")
                                 .arg(which);
    if (m_boxes.show(question, kTitle, MessageBoxes::Buttons::OkCancel) != MessageBoxes::Answer::Ok)
        return;
    QStringList failures;
    for (const RunCatalog::Run &run : selected)
        if (const std::optional<Failure> failure = RunCatalog::remove(run))
            failures.append(failure->reason);
    refresh();
    if (!failures.isEmpty())
        m_boxes.show(QStringLiteral("Not everything could be deleted:\n") + failures.join('\n'), kTitle);
}
