#pragma once

#include "AcquisitionView.h"

#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>
#include <functional>

// The main window as an acquisition run sees it, recorded instead of shown.
class FakeAcquisitionView : public AcquisitionView {
public:
    void setComPortLamp(Lamp lamp) override { note(), comPortLamp = lamp; }
    void setComPortTip(const QString &text) override { note(), comPortTip = text; }
    void setSpreadsheetLamp(Lamp lamp) override { note(), excelLamp = lamp; }
    void setStatusText(const QString &text) override
    {
        note();
        status = text;
        statusHistory.append(text);
    }
    void setSpreadsheetLampTip(const QString &text) override { note(), excelLampTip = text; }
    void setStartEnabled(bool e) override { note(), startEnabled = e; }
    void setStopEnabled(bool e) override { note(), stopEnabled = e; }
    void setPauseEnabled(bool e) override { note(), pauseEnabled = e; }
    void setResumeEnabled(bool e) override { note(), resumeEnabled = e; }
    void setPauseInFront(bool f) override { note(), pauseInFront = f; }
    void setComPortsEnabled(bool e) override { note(), comPortsEnabled = e; }
    void setUtilitiesMenuVisible(bool v) override { note(), utilitiesVisible = v; }
    void setTimerEnabled(bool e) override { note(), timerEnabled = e; }
    void bringToFront() override { note(), ++broughtToFront; }
    void setBusy(bool b) override { note(), busy = b; }

    void showProgress(qint64 done, qint64 total) override
    {
        note();
        progress.append({done, total});
    }

    void showNotice(const QString &text) override { note(), notices.append(text); }

    // The stopped layout the main window opens with.
    Lamp comPortLamp = Lamp::Frame;
    Lamp excelLamp = Lamp::Frame;
    QString comPortTip;
    QString status;
    QString excelLampTip;
    QStringList statusHistory;
    bool startEnabled = true;
    bool stopEnabled = false;
    bool pauseEnabled = false;
    bool resumeEnabled = false;
    bool pauseInFront = true;
    bool comPortsEnabled = true;
    bool utilitiesVisible = true;
    bool timerEnabled = false;
    bool busy = false;
    int broughtToFront = 0;
    QList<QPair<qint64, qint64>> progress;
    QStringList notices;
    int calls = 0; // every call of any kind

private:
    int note() { return ++calls; }
};
