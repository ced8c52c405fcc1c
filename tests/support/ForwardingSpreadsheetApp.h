#pragma once

#include "SpreadsheetApp.h"

#include <memory>

// Passes every call on to another application; a test or benchmark derives
// from it to watch the calls it cares about.
class ForwardingSpreadsheetApp : public SpreadsheetApp {
public:
    explicit ForwardingSpreadsheetApp(std::shared_ptr<SpreadsheetApp> inner) : m_inner(std::move(inner)) {}

    std::shared_ptr<Workbook> open(const QString &p) override { return m_inner->open(p); }
    std::shared_ptr<Workbook> openToFill(const QString &p) override { return m_inner->openToFill(p); }
    std::shared_ptr<Workbook> openHidden(const QString &p) override { return m_inner->openHidden(p); }
    void setVisible(bool v) override { m_inner->setVisible(v); }
    QString startupPath() override { return m_inner->startupPath(); }
    void setCell(std::int32_t r, std::int32_t c, const CellValue &v) override { m_inner->setCell(r, c, v); }
    void setCells(std::int32_t r, std::int32_t c, const QList<CellValue> &v) override { m_inner->setCells(r, c, v); }
    void setRows(std::int32_t r, std::int32_t c, const QList<QList<CellValue>> &rows) override
    {
        m_inner->setRows(r, c, rows);
    }
    LateWrite lateWrite() override { return m_inner->lateWrite(); }
    bool awaitLateWrite(std::chrono::milliseconds limit) override { return m_inner->awaitLateWrite(limit); }
    QString addSheet() override { return m_inner->addSheet(); }
    void run(const QString &macro, const std::function<void()> &waiting = {}) override { m_inner->run(macro, waiting); }
    QList<std::shared_ptr<Workbook>> workbooks() override { return m_inner->workbooks(); }
    std::optional<QString> getSaveAsFilename(const QString &i, const QString &f, const QString &t) override
    {
        return m_inner->getSaveAsFilename(i, f, t);
    }
    void quit() override { m_inner->quit(); }

private:
    std::shared_ptr<SpreadsheetApp> m_inner;
};
