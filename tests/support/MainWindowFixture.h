#pragma once

// The fixture of the tests that drive the whole program through its main
// window: a MainWindowRig set up before each case, and short ways to the
// window and its run. Tests with more set-up call SetUp() first and return
// when it failed.

#include "AcquisitionRun.h"
#include "MainWindowRig.h"

#include <gtest/gtest.h>

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(rig.setUp(), ""); }

    AcquisitionRun &run() { return rig.w->run(); }
    frmMain &w() { return *rig.w; }

    MainWindowRig rig;
};
