#pragma once

#include "RunCatalog.h"
#include "RunsTableModel.h"

#include <QDialog>
#include <functional>

class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

class MessageBoxes;
class RunArchiveState;
class RunChecker;
class RunLineCounter;

// The Runs window: every run kept in the journal folder, newest first (or as
// sorted by a click on a column's header), with
// what became of it and whether its files are still as recorded ("Checked",
// filled in the background). Makes a run's workbook from its journal, shows
// what a check of a run finds, shows the folder in the file manager, deletes
// runs. Not modal; refreshes itself when the folder changes (a run starts or
// ends), and the bytes and lines of a running run every second.
class frmRuns : public QDialog {
    Q_OBJECT
public:
    // Makes the workbook of the run whose raw file is given (a rebuild from
    // its journal, with the save dialog), then calls `made`, which may be
    // after it has returned (the user macro runs on).
    using MakeWorkbook = std::function<void(const QString &rawPath, std::function<void()> made)>;

    frmRuns(QString folder, MessageBoxes &boxes, MakeWorkbook makeWorkbook, QWidget *parent = nullptr);
    ~frmRuns() override;

    using enum RunsTableModel::Column;

    QTableView *grdRuns = nullptr;
    QLabel *lblFolder = nullptr;
    QPushButton *cmdMakeWorkbook = nullptr;
    QPushButton *cmdVerify = nullptr;
    QPushButton *cmdShowFiles = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdClose = nullptr;

    // The runs as listed now, in the table's order (as sorted).
    QList<RunCatalog::Run> runs() const;
    // Selects these runs (by raw file), and only these.
    void selectRuns(const QStringList &rawPaths);
    // The lab archive's word on each run, shown in the column "Archived"
    // (hidden without an archive) and asked again every few seconds.
    void setArchiveState(const RunArchiveState *archive);

public slots:
    // Reads the folder again, keeping the selection.
    void refresh();
    void cmdMakeWorkbook_Click();
    void cmdVerify_Click();
    void cmdShowFiles_Click();
    void cmdDelete_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override; // Delete deletes

private:
    void buildControls();
    QList<RunCatalog::Run> selectedRuns() const;
    void updateRunning();
    void updateButtons();
    void runChecked(const QString &rawPath, const QString &verdict);
    // Makes the first run's workbook, and then those of the others.
    void makeWorkbooks(QList<RunCatalog::Run> runs);

    QString m_folder;
    MessageBoxes &m_boxes;
    MakeWorkbook m_makeWorkbook;
    RunsTableModel *m_model = nullptr;
    QSortFilterProxyModel *m_sorted = nullptr; // what grdRuns shows
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_refreshSoon = nullptr;
    RunLineCounter *m_counter = nullptr;
    RunChecker *m_checker = nullptr;
    QTimer *m_runningTick = nullptr;
    QTimer *m_archiveTick = nullptr;
};
