#include "DialogActions.h"
#include "FakeSerialComm.h"
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

} // namespace

TEST(selectComPort, RefusedNumberKeepsThePortInUse)
{
    FakeSerialComm comm;
    comm.setCommPort(7);
    ScriptedPicker picker;
    picker.answer = 20;
    QStringList labels;
    EXPECT_EQ(selectComPort(picker, comm, [&](const QString &t) { labels << t; }), 7);
    EXPECT_EQ(comm.commPort(), 7);
    EXPECT_EQ(labels, QStringList{"COM 7"});

    // Refused because the port is open: same outcome, nothing thrown.
    comm.setPortOpen(true);
    picker.answer = 3;
    EXPECT_EQ(selectComPort(picker, comm, [&](const QString &t) { labels << t; }), 7);
    EXPECT_EQ(labels.last(), "COM 7");
}

TEST(selectComPort, PortThatDoesNotFitEightBitsIsAskedAsZero)
{
    WidePortComm comm;
    comm.port = 300;
    ScriptedPicker picker; // cancels: gives the asked port back
    QString label;
    selectComPort(picker, comm, [&](const QString &t) { label = t; });
    EXPECT_EQ(picker.asked, QList<int>{0});
    EXPECT_EQ(comm.port, 300);
    EXPECT_EQ(label, "COM 300");

    comm.port = -1;
    selectComPort(picker, comm, {}); // no label callback: nothing to call
    EXPECT_EQ(picker.asked.last(), 0);
}
