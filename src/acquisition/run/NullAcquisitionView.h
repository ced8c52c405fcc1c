#pragma once

#include "AcquisitionView.h"

// A view that does nothing: stands in for the main window once it has gone,
// and is the base of views that need only a few of the calls.
class NullAcquisitionView : public AcquisitionView {
public:
    void setComPortLamp(Lamp) override {}
    void setSpreadsheetLamp(Lamp) override {}
    void setStatusText(const QString &) override {}
    void setSpreadsheetLampTip(const QString &) override {}
    void setStartEnabled(bool) override {}
    void setStopEnabled(bool) override {}
    void setPauseEnabled(bool) override {}
    void setResumeEnabled(bool) override {}
    void setPauseInFront(bool) override {}
    void setComPortsEnabled(bool) override {}
    void setUtilitiesMenuVisible(bool) override {}
    void setTimerEnabled(bool) override {}
    void bringToFront() override {}
    void showProgress(qint64, qint64) override {}
};
