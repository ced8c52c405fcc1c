#pragma once

// The real parts around an acquisition run, as a test drives them: the serial
// component on a socat pseudo-terminal pair (COM5 in "ports.conf"; COM6 names
// a device that does not exist), a real headless office whose save dialog
// answers what the test says, recorded message boxes, and the settings store
// in the test's private home. The test plays the instrument on the far end of
// the pair. Header only: tests using it link halvern_calc.

#include "AppSettings.h"
#include "CalcSpreadsheetFactory.h"
#include "FileContents.h"
#include "FolderLookup.h"
#include "KeepingCalcFactory.h"
#include "MSComm.h"
#include "OfficeProcess.h"
#include "PortMap.h"
#include "PtyPair.h"
#include "PtyPeer.h"
#include "QStringPrinter.h"
#include "RecordingMessageBoxes.h"
#include "WaitUntil.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class AcquisitionRig {
public:
    // Clears the stored settings, selects COM5 and removes the working copy.
    // Empty on success, else what went wrong.
    QString setUp(const QString &programFolder = qEnvironmentVariable("HALVERN_BIN_DIR"))
    {
        this->programFolder = programFolder;
        if (!QFileInfo::exists(programFolder + "/KeyChain.txt"))
            return "no program folder at " + programFolder;
        if (!pty.start())
            return "socat did not start";
        QSettings(QSettings::UserScope, "Halvern", "Halvern").clear();
        AppSettings::save("Communication", "ComPort", "5");
        writeFile(AppSettings::folder() + "/ports.conf",
                  ("COM5=" + pty.endA() + "\nCOM6=" + output.path() + "/no-such-device\n").toUtf8());
        if (!peer.open(pty.endB()))
            return "cannot open the instrument end";
        documents = SpecialFolder::documents();
        if (documents.isEmpty())
            return "no documents folder";
        QFile::remove(workingCopy());

        comm = std::make_unique<MSComm>(PortMap(AppSettings::folder()));
        comm->setCommPort(5);
        calc = std::make_unique<CalcSpreadsheetFactory>(
            [this](const QString &title, const QString &filter) {
                prompts.append(title + "|" + filter);
                if (onPrompt)
                    onPrompt();
                return saveAnswers.isEmpty() ? saveAnswer : saveAnswers.takeFirst();
            },
            soffice);
        factory = std::make_unique<KeepingCalcFactory>(*calc);
        return QString();
    }

    // The instrument prints: every byte goes into the far end of the pair.
    bool send(const QByteArray &bytes)
    {
        if (!peer.send(bytes))
            return false;
        sent += bytes.size();
        return true;
    }

    // The office process group of the last office started (0 if none).
    pid_t officeGroup() const { return factory && factory->last ? factory->last->processGroup() : 0; }
    // A living (not zombie) process left in the office's process group.
    static bool officeAlive(pid_t group) { return group > 0 && OfficeProcess::groupAlive(group); }
    // Waits until no living process is left of that office.
    static bool officeEnded(pid_t group, int timeoutMs = 15000)
    {
        return waitUntil([group] { return !officeAlive(group); }, timeoutMs);
    }

    QString workingCopy() const { return documents + "/spreadsheet.xls"; }
    QString outputFile(const QString &name) const { return output.path() + "/" + name; }

    QString programFolder;
    QString soffice; // empty: the installed office
    PtyPair pty;
    PtyPeer peer;
    qint64 sent = 0;
    QString documents;
    QTemporaryDir output;
    RecordingMessageBoxes boxes;
    QStringList prompts;
    QString saveAnswer;      // empty: the user cancels
    QStringList saveAnswers; // answered in turn before saveAnswer
    std::function<void()> onPrompt;
    std::unique_ptr<MSComm> comm;
    std::unique_ptr<CalcSpreadsheetFactory> calc;
    std::unique_ptr<KeepingCalcFactory> factory;
};
