#pragma once

// The fixture of the runs driven through the main window: the rig with the
// window, its Stop answered by a file, the layout a stopped run leaves.
#include "MainWindowFixture.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

class MainWindowRunTest : public MainWindowFixture {
protected:
    // Presses Stop with the save dialog answered by a file in the output folder.
    QString stopAndSave(const QString &name)
    {
        rig.saveAnswer = rig.outputFile(name);
        click(rig.w->cmdStop);
        return rig.saveAnswer;
    }

    // The stopped layout, as after the load or a Stop.
    void expectStoppedLayout()
    {
        EXPECT_EQ(run().state(), RunState::Stopped);
        EXPECT_TRUE(w().cmdStart->isEnabled());
        EXPECT_FALSE(w().cmdStop->isEnabled());
        EXPECT_FALSE(w().cmdPause->isEnabled());
        EXPECT_FALSE(w().cmdResume->isEnabled());
        EXPECT_TRUE(w().pauseInFront());
        EXPECT_TRUE(w().cmdComPorts->isEnabled());
        EXPECT_TRUE(w().mnuUtilities->menuAction()->isVisible());
        // Right after the load the timer runs until its first tick finds no run.
        EXPECT_TRUE(waitUntil([this] { return !w().tmrMain->isActive(); }, 1000));
    }
};
