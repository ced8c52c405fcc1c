#pragma once

#include "DownloadView.h"

#include <QList>

// Keeps what the session shows, and every progress value it set.
class RecordingView : public DownloadView {
public:
    void setPleaseBePatientVisible(bool visible) override { pleaseBePatient = visible; }
    void setDownloadingVisible(bool visible) override { downloading = visible; }
    void setSuccessVisible(bool visible) override { success = visible; }
    void setPleasePowerCycleVisible(bool visible) override
    {
        pleasePowerCycle = visible;
        if (visible)
            ++powerCycleRequests;
    }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setProgress(int percent) override { progress.append(percent); }

    bool pleaseBePatient = false;
    bool downloading = false;
    bool success = false;
    bool pleasePowerCycle = false;
    bool progressVisible = false;
    int powerCycleRequests = 0;
    QList<int> progress;
};
