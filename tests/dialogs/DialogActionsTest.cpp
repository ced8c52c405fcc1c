#include "DialogActions.h"
#include "FakeSerialComm.h"
#include "Globals.h"
#include "MacroEditor.h"
#include "PortPicker.h"

#include <gtest/gtest.h>

namespace {

// Answers GetPort with a scripted port, or the asked one when there is none.
struct ScriptedPicker : PortPicker {
    std::optional<std::int16_t> answer;
    QList<int> asked;
    std::int16_t GetPort(std::uint8_t port) override
    {
        asked.append(port);
        return answer ? *answer : std::int16_t(port);
    }
};

// A serial component whose port number can hold any value.
struct WidePortComm : FakeSerialComm {
    std::int16_t port = 1;
    std::int16_t commPort() const override { return port; }
    void setCommPort(std::int16_t p) override
    {
        if (p < 1 || p > 16)
            throw CommError(8002, "Invalid port number");
        port = p;
    }
};

struct ScriptedEditor : MacroEditor {
    bool enable = false;
    QString name;
    bool ok = true;
    // What the "user" changes while the dialog shows.
    std::function<void(ScriptedEditor &)> edit;
    bool presetEnable = false;
    QString presetName;

    bool MacroEnable() const override { return enable; }
    void setMacroEnable(bool e) override { enable = e; }
    QString MacroName() const override { return name; }
    void setMacroName(const QString &n) override { name = n; }
    bool ShowForm() override
    {
        presetEnable = enable;
        presetName = name;
        if (edit)
            edit(*this);
        return ok;
    }
};

} // namespace

TEST(RunComPortSelection, SetsTheChosenPortAndLabelsIt)
{
    FakeSerialComm comm;
    comm.setCommPort(7);
    ScriptedPicker picker;
    picker.answer = 9;
    QStringList labels;
    EXPECT_EQ(RunComPortSelection(picker, comm, [&](const QString &t) { labels << t; }), 9);
    EXPECT_EQ(picker.asked, QList<int>{7});
    EXPECT_EQ(comm.commPort(), 9);
    EXPECT_EQ(labels, QStringList{"COM 9"});
}

TEST(RunComPortSelection, RefusedNumberKeepsThePortInUse)
{
    FakeSerialComm comm;
    comm.setCommPort(7);
    ScriptedPicker picker;
    picker.answer = 20;
    QStringList labels;
    EXPECT_EQ(RunComPortSelection(picker, comm, [&](const QString &t) { labels << t; }), 7);
    EXPECT_EQ(comm.commPort(), 7);
    EXPECT_EQ(labels, QStringList{"COM 7"});

    // Refused because the port is open: same outcome, nothing thrown.
    comm.setPortOpen(true);
    picker.answer = 3;
    EXPECT_EQ(RunComPortSelection(picker, comm, [&](const QString &t) { labels << t; }), 7);
    EXPECT_EQ(labels.last(), "COM 7");
}

TEST(RunComPortSelection, PortThatDoesNotFitEightBitsIsAskedAsZero)
{
    WidePortComm comm;
    comm.port = 300;
    ScriptedPicker picker; // cancels: gives the asked port back
    QString label;
    RunComPortSelection(picker, comm, [&](const QString &t) { label = t; });
    EXPECT_EQ(picker.asked, QList<int>{0});
    EXPECT_EQ(comm.port, 300);
    EXPECT_EQ(label, "COM 300");

    comm.port = -1;
    RunComPortSelection(picker, comm, {}); // no label callback: nothing to call
    EXPECT_EQ(picker.asked.last(), 0);
}

TEST(RunMacroSettings, PresetsFromTheGlobalsAndStoresOnlyOnOk)
{
    Globals globals;
    globals.bMacroEnable = true;
    globals.sMacroName = "Book1!Tidy";
    ScriptedEditor editor;
    editor.edit = [](ScriptedEditor &e) {
        e.enable = false;
        e.name = "Other";
    };

    editor.ok = false;
    EXPECT_FALSE(RunMacroSettings(editor, globals));
    EXPECT_TRUE(editor.presetEnable);
    EXPECT_EQ(editor.presetName, "Book1!Tidy");
    EXPECT_TRUE(globals.bMacroEnable);
    EXPECT_EQ(globals.sMacroName, "Book1!Tidy");

    // The abandoned edit does not survive into the next opening.
    editor.ok = true;
    EXPECT_TRUE(RunMacroSettings(editor, globals));
    EXPECT_TRUE(editor.presetEnable);
    EXPECT_EQ(editor.presetName, "Book1!Tidy");
    EXPECT_FALSE(globals.bMacroEnable);
    EXPECT_EQ(globals.sMacroName, "Other");
}
