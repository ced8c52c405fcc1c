#include "Clicks.h"
#include "DialogActions.h"
#include "MacroSettings.h"
#include "ModalDriver.h"
#include "frmExcelMacro.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

class ExcelMacroDialog : public ::testing::Test {
protected:
    // Opens the dialog the way the main window's button does.
    bool edit(const std::function<void(frmExcelMacro &)> &act)
    {
        return driveModal<frmExcelMacro>([&] { return editMacroSettings(dialog, macro); }, act);
    }

    static void typeName(frmExcelMacro &d, const QString &name)
    {
        d.txtExcelMacro->selectAll();
        QTest::keyClick(d.txtExcelMacro, Qt::Key_Delete);
        QTest::keyClicks(d.txtExcelMacro, name);
    }

    static QColor background(QLineEdit *box, QPalette::ColorGroup group)
    {
        return box->palette().color(group, QPalette::Base);
    }

    MacroSettings macro;
    frmExcelMacro dialog;
};

const QColor white(0xFF, 0xFF, 0xFF);

} // namespace

TEST_F(ExcelMacroDialog, ControlsAsDesigned)
{
    EXPECT_EQ(dialog.windowTitle(), "Excel Configuration");
    EXPECT_EQ(dialog.chkExcelMacro->text(), "&Run Excel Macro:");
    EXPECT_EQ(dialog.chkExcelMacro->parentWidget(), dialog.fraExcelMacro);
    EXPECT_EQ(dialog.txtExcelMacro->parentWidget(), dialog.fraExcelMacro);
    EXPECT_NE(dialog.cmdOK->parentWidget(), dialog.fraExcelMacro);
    EXPECT_NE(dialog.cmdCancel->parentWidget(), dialog.fraExcelMacro);
    EXPECT_TRUE(dialog.cmdOK->isDefault());
    edit([](frmExcelMacro &d) {
        // Check box and text box on one line.
        const QRect box = d.chkExcelMacro->geometry();
        const QRect text = d.txtExcelMacro->geometry();
        EXPECT_TRUE(box.top() < text.bottom() && text.top() < box.bottom());
        EXPECT_LT(box.right(), text.left());
        d.cmdCancel->click();
    });
}

TEST_F(ExcelMacroDialog, LeavingWithoutOkKeepsBothSettings)
{
    macro.enabled = true;
    macro.name = "Book1!Tidy";
    for (Leave how : {Leave::CancelButton, Leave::EscapeKey, Leave::CloseBox}) {
        SCOPED_TRACE(leaveName(how));
        EXPECT_FALSE(edit([how](frmExcelMacro &d) {
            // Each opening shows the settings, not the abandoned edit before.
            EXPECT_TRUE(d.chkExcelMacro->isChecked());
            EXPECT_EQ(d.txtExcelMacro->text(), "Book1!Tidy");
            typeName(d, "Changed");
            clickIndicator(d.chkExcelMacro);
            EXPECT_FALSE(d.chkExcelMacro->isChecked());
            leaveWithoutOk(d, how);
        }));
        EXPECT_TRUE(macro.enabled);
        EXPECT_EQ(macro.name, "Book1!Tidy");
        EXPECT_TRUE(dialog.isHidden());
    }
    // The dialog is only ever hidden; the program may still close it.
    EXPECT_TRUE(dialog.close());
}

TEST_F(ExcelMacroDialog, UncheckingKeepsTheNameAndOkStoresFalseWithIt)
{
    macro.enabled = true;
    macro.name = "Old";
    EXPECT_TRUE(edit([](frmExcelMacro &d) {
        EXPECT_TRUE(d.txtExcelMacro->isEnabled());
        typeName(d, "Report!Finish");
        clickIndicator(d.chkExcelMacro);
        EXPECT_EQ(d.txtExcelMacro->text(), "Report!Finish");
        EXPECT_FALSE(d.txtExcelMacro->isEnabled());
        pressEnter(d);
    }));
    EXPECT_FALSE(macro.enabled);
    EXPECT_EQ(macro.name, "Report!Finish");

    // Next opening: the name again, in the disabled box.
    EXPECT_TRUE(edit([](frmExcelMacro &d) {
        EXPECT_FALSE(d.chkExcelMacro->isChecked());
        EXPECT_EQ(d.txtExcelMacro->text(), "Report!Finish");
        EXPECT_FALSE(d.txtExcelMacro->isEnabled());
        EXPECT_EQ(background(d.txtExcelMacro, QPalette::Disabled),
                  d.fraExcelMacro->palette().color(d.fraExcelMacro->backgroundRole()));
        click(d.cmdOK);
    }));
    EXPECT_FALSE(macro.enabled);
    EXPECT_EQ(macro.name, "Report!Finish");
}

TEST_F(ExcelMacroDialog, OkCheckedWithAnEmptyNameIsStoredAsSuch)
{
    macro.enabled = false;
    macro.name = "Something";
    EXPECT_TRUE(edit([](frmExcelMacro &d) {
        EXPECT_FALSE(d.txtExcelMacro->isEnabled());
        clickIndicator(d.chkExcelMacro);
        EXPECT_TRUE(d.txtExcelMacro->isEnabled());
        typeName(d, "");
        pressEnter(d);
    }));
    EXPECT_TRUE(macro.enabled);
    EXPECT_EQ(macro.name, "");
}

TEST_F(ExcelMacroDialog, BackgroundFollowsTheCheckBox)
{
    // A frame colour of its own, so the text box visibly takes it over.
    const QColor frameColour(0x33, 0x66, 0x99);
    QPalette framePalette = dialog.fraExcelMacro->palette();
    framePalette.setColor(QPalette::Window, frameColour);
    dialog.fraExcelMacro->setPalette(framePalette);

    dialog.setMacroName("Keep me");
    dialog.setMacroEnable(true);
    EXPECT_TRUE(dialog.MacroEnable());
    EXPECT_TRUE(dialog.txtExcelMacro->isEnabled());
    EXPECT_EQ(background(dialog.txtExcelMacro, QPalette::Active), white);

    dialog.setMacroEnable(false);
    EXPECT_FALSE(dialog.MacroEnable());
    EXPECT_FALSE(dialog.txtExcelMacro->isEnabled());
    EXPECT_EQ(background(dialog.txtExcelMacro, QPalette::Disabled), frameColour);
    EXPECT_EQ(dialog.MacroName(), "Keep me");

    dialog.setMacroEnable(true);
    EXPECT_EQ(background(dialog.txtExcelMacro, QPalette::Active), white);
    EXPECT_EQ(dialog.MacroName(), "Keep me");
}
