// Starts through the main window that fail before a run begins: no master
// workbook, no office, a port missing or in use; each leaves Start usable.
#include "MainWindowRunFixture.h"
#include "QStringPrinter.h"
#include "StatusTexts.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST_F(MainWindowRunTest, MissingMasterFailsBeforeTheOfficeStarts)
{
    QTemporaryDir program;
    ASSERT_TRUE(QFile::copy(rig.programFolder + "/KeyChain.txt", program.path() + "/KeyChain.txt"));
    rig.programFolder = program.path();
    ASSERT_TRUE(rig.load());
    click(w().cmdStart);
    EXPECT_EQ(rig.status(), "We cannot make a copy of the master workbook; it may have been deleted.");
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::red());
    EXPECT_EQ(rig.factory->creates, 0);
    EXPECT_FALSE(QFileInfo::exists(rig.workingCopy()));
    EXPECT_FALSE(rig.comm->portOpen());
    expectStoppedLayout(); // Start still enabled for another try
    EXPECT_TRUE(rig.boxes.boxes.isEmpty());
}

// The office program is not installed where it is looked for.
class MainWindowWithoutOfficeTest : public MainWindowRunTest {
protected:
    void SetUp() override
    {
        rig.soffice = "/nonexistent/soffice";
        MainWindowRunTest::SetUp();
    }
};

TEST_F(MainWindowWithoutOfficeTest, MissingOfficeFailsAndLeavesStartUsable)
{
    ASSERT_TRUE(rig.load());
    click(w().cmdStart);
    EXPECT_EQ(rig.status(), "We cannot start MS Excel; it may not be loaded on this computer.");
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::red());
    EXPECT_EQ(rig.w->run().spreadsheet(), nullptr);
    EXPECT_FALSE(rig.comm->portOpen());
    expectStoppedLayout();
    EXPECT_TRUE(rig.boxes.boxes.isEmpty());
}

TEST_F(MainWindowRunTest, PortMissingOrInUseQuitsTheOfficeAndAnotherStartWorks)
{
    AppSettings::save("Communication", "ComPort", "6"); // no such device
    ASSERT_TRUE(rig.load());
    EXPECT_EQ(w().lblComPort->text(), "COM 6");
    click(w().cmdStart);
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_EQ(rig.status(), kNoPort);
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::red());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    EXPECT_EQ(rig.w->run().spreadsheet(), nullptr);
    expectStoppedLayout();
    EXPECT_TRUE(MainWindowRig::officeEnded(rig.officeGroup()));

    // COM5 held by another program.
    MSComm other{PortMap(AppSettings::folder())};
    other.setCommPort(5);
    other.setPortOpen(true);
    rig.comm->setCommPort(5);
    click(w().cmdStart);
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_EQ(rig.status(), kNoPort);
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::red());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    EXPECT_TRUE(MainWindowRig::officeEnded(rig.officeGroup()));
    EXPECT_TRUE(w().cmdComPorts->isEnabled());

    // Once the other program lets go, Start works; Stop with nothing written
    // asks nothing.
    other.setPortOpen(false);
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    EXPECT_EQ(rig.status(), "Ready");
    const pid_t office = rig.officeGroup();
    click(w().cmdStop);
    EXPECT_TRUE(rig.prompts.isEmpty());
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    EXPECT_EQ(rig.factory->creates, 3);
}

} // namespace
