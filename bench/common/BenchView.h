#pragma once

// The main window's part in a benchmark's run (header only): a 100 ms timer
// and an event run; the status text is noted, the rest ignored.
#include "NullAcquisitionView.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

class BenchView : public NullAcquisitionView {
public:
    BenchView() { timer.setInterval(100); }
    void setStatusText(const QString &text) override { status = text; }
    void setTimerEnabled(bool enabled) override { enabled ? timer.start() : timer.stop(); }
    QTimer timer;
    QString status;
};
