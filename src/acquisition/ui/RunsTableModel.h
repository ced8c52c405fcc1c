#pragma once

#include "RunCatalog.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>

class RunArchiveState;

// The runs listed in the Runs window and what is learnt of them meanwhile:
// the lines counted in the background, the "Checked" verdicts (kept while a
// run's files keep their sizes, across listings), the running run's bytes and
// lines, the archive's word. Whatever changes after a listing is told as the
// change of just the cells it touches.
class RunsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        StartColumn,
        EndColumn,
        ComColumn,
        DeviceColumn,
        BytesColumn,
        LinesColumn,
        CheckedColumn,
        ArchivedColumn,
        WorkbookColumn,
        ColumnCount
    };
    // What a column sorts by: times and numbers as such, the rest as shown.
    static constexpr int SortRole = Qt::UserRole;

    explicit RunsTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A new listing of the folder, newest first.
    void setRuns(QList<RunCatalog::Run> runs);
    const QList<RunCatalog::Run> &runs() const { return m_runs; }
    const RunCatalog::Run &run(int row) const { return m_runs[row]; }
    // The checkable runs listed without a verdict yet.
    QStringList unchecked() const;

    void setLines(const QString &rawPath, qint64 lines);
    void setVerdict(const QString &rawPath, const QString &verdict);
    // Reads on in the running runs' files; false when none is listed running.
    bool updateRunning();
    // Asks the archive (none: the column stays empty) for its word on each run.
    void setArchive(const RunArchiveState *archive);
    void updateArchived();

private:
    void changed(int row, Column column);

    QList<RunCatalog::Run> m_runs;
    QHash<QString, QString> m_verdicts;                   // raw file and its size -> the verdict
    QHash<QString, RunCatalog::LineTally> m_runningLines; // by raw file
    const RunArchiveState *m_archive = nullptr;
    QStringList m_archived; // by row
};
