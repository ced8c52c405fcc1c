#pragma once

#include "SpreadsheetFactory.h"

#include <memory>

class CalcCore;
struct CalcDocument;

// One workbook open in our office (a Calc spreadsheet document).
class CalcWorkbook : public Workbook {
public:
    CalcWorkbook(std::shared_ptr<CalcCore> core, std::shared_ptr<CalcDocument> document);
    ~CalcWorkbook() override;

    QString name() override;
    void activate() override;
    bool saved() override;
    // .xls is written as Excel 97, .xlsx as Office Open XML, .ods as
    // OpenDocument; any other name as Excel 97. An existing file is replaced.
    void saveAs(const QString &path) override;
    UsedArea usedArea() override;
    void setCustomProperties(const Properties &properties) override;
    Properties customProperties() override;
    QList<SheetValues> values() override;

private:
    // Stores a copy of the workbook at `url` with the office's `filter`.
    void storeCopy(const QString &url, const QString &filter);
    // The bytes the workbook takes as `filter` writes it, from a copy in the
    // temporary folder; 0 when that cannot be told.
    qint64 storedSize(const QString &filter, const QString &suffix);

    std::shared_ptr<CalcCore> m_core;
    std::shared_ptr<CalcDocument> m_document;
};
