#include "WorkbookCheck.h"

#include "FileDigest.h"
#include "WorkbookReplayCheck.h"
#include "WorkbookRunFinder.h"

#include <QFileInfo>

using Verdict = RunCheck::Verdict;

WorkbookCheck::WorkbookCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder)
    : m_factory(factory), m_programFolder(std::move(programFolder)), m_runsFolder(std::move(runsFolder))
{
}

RunCheck::Result WorkbookCheck::check(const QString &workbookPath)
{
    RunCheck::Result result;
    m_run.clear();
    const QString path = QFileInfo(workbookPath).absoluteFilePath();
    const Result<QString> digest = FileDigest::sha256(path);
    if (!digest) {
        result.add(Verdict::Missing,
                   QStringLiteral("The workbook cannot be read: %1: %2").arg(path, digest.failure().reason));
        return result;
    }
    const QString sha256 = *digest;
    bool same = false;
    const QString rawPath = WorkbookRunFinder::findRun(m_runsFolder, path, sha256, &same);
    if (same) {
        m_run = rawPath;
        result = RunCheck::record(rawPath);
        result.add(Verdict::Matches, QStringLiteral("The workbook is byte for byte as Halvern saved it at the end of "
                                                    "the run %1: %2")
                                         .arg(QFileInfo(rawPath).fileName(), path));
        return result;
    }
    m_run = WorkbookReplayCheck(m_factory, m_programFolder, m_runsFolder).compareCells(path, rawPath, result);
    return result;
}
