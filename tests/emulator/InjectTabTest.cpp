// "Inject Single Tab" through the mailbox the run reads: the next numeric
// output becomes a two-field TAB line, once; other text passes as it is.
#include "EmulatorMailbox.h"

#include <gtest/gtest.h>

namespace {

TEST(InjectTab, TheNextNumberBecomesATwoFieldLineAndTheRequestIsServedOnce)
{
    struct Case {
        QByteArray output;
        QByteArray taken;
    };
    const Case cases[] = {
        {"9999\r\n", "9999\t10000\r\n"},        {" -2.5\r\n", "-2.5\t-1.5\r\n"},
        {"1.5E20\r\n", "1.5E+20\t1.5E+20\r\n"}, {"-1E19\r\n", "-1E+19\t-1E+19\r\n"}, // beyond a 64-bit integer
        {"1e999\r\n", "INF\tINF\r\n"},                                               // beyond a double
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output.toStdString());
        EmulatorMailbox mailbox;
        int cleared = 0;
        mailbox.setInjectTabClearedHandler([&cleared] { ++cleared; });
        mailbox.setInjectTab(true);
        mailbox.post(c.output);
        EXPECT_EQ(mailbox.takeInstrumentText(), c.taken);
        EXPECT_FALSE(mailbox.injectTabRequested());
        EXPECT_EQ(cleared, 1);
        mailbox.post(c.output);
        EXPECT_EQ(mailbox.takeInstrumentText(), c.output); // served: the next one passes
    }
}

TEST(InjectTab, ATextWithoutANumberPassesAndTheRequestWaits)
{
    EmulatorMailbox mailbox;
    mailbox.setInjectTab(true);
    mailbox.post("\r\n\r\n\r\n");
    EXPECT_EQ(mailbox.takeInstrumentText(), "\r\n\r\n\r\n");
    EXPECT_TRUE(mailbox.injectTabRequested());
    EXPECT_EQ(mailbox.takeInstrumentText(), ""); // taken once
}

} // namespace
