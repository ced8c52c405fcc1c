#pragma once

#include "SpreadsheetFactory.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <sys/types.h>

class CalcCore;
struct UnoState;

// One private LibreOffice Calc instance driven over UNO. Every office call
// runs on a worker thread: a call not answered within a second throws Busy
// (and later calls throw Busy at once until it has been answered); once the
// office has ended every call throws Gone at once. A cell write that was not
// answered in time is followed: lateWrite() tells when it has ended and how.
class CalcSpreadsheetApp : public SpreadsheetApp {
public:
    explicit CalcSpreadsheetApp(std::shared_ptr<CalcCore> core);
    // A headless office is quit; a visible one is left to the user.
    ~CalcSpreadsheetApp() override;

    std::shared_ptr<Workbook> open(const QString &path) override;
    std::shared_ptr<Workbook> openHidden(const QString &path) override;
    // Headless, the workbook has no view until a macro runs.
    std::shared_ptr<Workbook> openToFill(const QString &path) override;
    void setVisible(bool visible) override;
    QString startupPath() override;
    void setCell(std::int32_t row, std::int32_t column, const CellValue &value) override;
    void setCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values) override;
    // A backlog of lines in one office call: one setDataArray per run of
    // rows of equal length.
    void setRows(std::int32_t row, std::int32_t column, const QList<QList<CellValue>> &rows) override;
    // A write that outlived the call limit is followed until it ends.
    LateWrite lateWrite() override;
    bool awaitLateWrite(std::chrono::milliseconds limit) override;
    QString addSheet() override;
    // Runs the macro through a caller module (see DocumentMacro) without a
    // time limit, in a workbook opened through this object.
    void run(const QString &macro, const std::function<void()> &waiting = {}) override;
    QList<std::shared_ptr<Workbook>> workbooks() override;
    std::optional<QString> getSaveAsFilename(const QString &initialFilename, const QString &fileFilter,
                                             const QString &title) override;
    void quit() override;
    QString version() override;
    void setLongCallNotice(std::function<void(int seconds)> notice) override;

    // The office's process group (its launcher's process id) and the name
    // of the pipe it accepts UNO connections on.
    pid_t processGroup() const;
    QString pipeName() const;
    // The folder holding the office's private profile and temporary files.
    QString instanceFolder() const;

private:
    enum class Load { WithView, Hidden, ToFill };
    std::shared_ptr<Workbook> load(const QString &path, Load how);
    // Runs a cell write in the office; a write that times out is kept in
    // m_late, where the office's worker records how it ended.
    void write(std::function<void(UnoState &)> fn);

    std::shared_ptr<CalcCore> m_core;
    std::shared_ptr<std::atomic<LateWrite>> m_late;
};
