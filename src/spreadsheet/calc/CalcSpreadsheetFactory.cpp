#include "CalcSpreadsheetFactory.h"

#include "CalcCore.h"
#include "CalcSpreadsheetApp.h"

#include <QFileInfo>
#include <QStandardPaths>

CalcSpreadsheetFactory::CalcSpreadsheetFactory(SaveAsPrompt prompt, QString soffice)
    : m_prompt(std::move(prompt)), m_soffice(std::move(soffice))
{
}

QString CalcSpreadsheetFactory::sofficePath() const
{
    if (!m_soffice.isEmpty())
        return m_soffice;
    QString fromEnv = qEnvironmentVariable("HALVERN_SOFFICE");
    if (!fromEnv.isEmpty())
        return fromEnv;
    QString inPath = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (!inPath.isEmpty())
        return inPath;
    return QStringLiteral("/usr/lib/libreoffice/program/soffice");
}

std::shared_ptr<SpreadsheetApp> CalcSpreadsheetFactory::create()
{
    return launch(qEnvironmentVariable("HALVERN_OFFICE_HEADLESS") == QLatin1String("1"));
}

std::shared_ptr<SpreadsheetApp> CalcSpreadsheetFactory::createHeadless() { return launch(true); }

std::shared_ptr<SpreadsheetApp> CalcSpreadsheetFactory::launch(bool headless)
{
    auto core = std::make_shared<CalcCore>(headless, m_prompt);
    core->start(sofficePath(), m_connectLimit);
    return std::make_shared<CalcSpreadsheetApp>(core);
}

void CalcSpreadsheetFactory::clearLeftovers() { OfficeFolders::sweepEnded(); }
