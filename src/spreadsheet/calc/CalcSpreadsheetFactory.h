#pragma once

#include "SpreadsheetFactory.h"

#include <QString>
#include <chrono>
#include <functional>

// Creates LibreOffice Calc instances: each create() launches a new private
// office process (own profile and temporary folder under
// $XDG_DATA_HOME/Halvern, own pipe) and connects to it over UNO.
// HALVERN_OFFICE_HEADLESS=1 makes the office headless; otherwise it is a
// normal visible Calc window.
class CalcSpreadsheetFactory : public SpreadsheetFactory {
public:
    // The save dialog behind GetSaveAsFilename: gets the title and a Qt file
    // filter (e.g. "Excel workbook (*.xls)") and returns the chosen full path,
    // or nothing (or an empty text) on cancel.
    using SaveAsPrompt = std::function<std::optional<QString>(const QString &title, const QString &filter)>;

    // soffice: the office program to launch; empty means $HALVERN_SOFFICE,
    // else "soffice" from PATH.
    explicit CalcSpreadsheetFactory(SaveAsPrompt prompt = {}, QString soffice = QString());

    // Throws SpreadsheetError (Failed) when the office is missing or does
    // not answer within the connect limit; nothing is left running then.
    std::shared_ptr<SpreadsheetApp> create() override;
    std::shared_ptr<SpreadsheetApp> createHeadless() override;

    void setConnectTimeout(std::chrono::milliseconds limit) { m_connectLimit = limit; }
    QString sofficePath() const;

private:
    std::shared_ptr<SpreadsheetApp> launch(bool headless);

    SaveAsPrompt m_prompt;
    QString m_soffice;
    std::chrono::milliseconds m_connectLimit{30000};
};
