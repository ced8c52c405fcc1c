#pragma once

// What the firmware session needs of its window: the labels it shows and
// hides, and the progress bar (range 0 to 100).
class DownloadView {
public:
    virtual ~DownloadView() = default;

    virtual void setPleaseBePatientVisible(bool visible) = 0;
    virtual void setDownloadingVisible(bool visible) = 0;
    virtual void setSuccessVisible(bool visible) = 0;
    virtual void setPleasePowerCycleVisible(bool visible) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgress(int percent) = 0;
};
