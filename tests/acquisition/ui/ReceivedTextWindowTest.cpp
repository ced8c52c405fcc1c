// The "Received text" window on the offscreen platform: what it shows after
// changes taken in batches, following the end, the hex view and Clear.
#include "QStringPrinter.h"
#include "ReceivedText.h"
#include "ReceivedTextWindow.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

class ReceivedTextWindowTest : public ::testing::Test {
protected:
    ReceivedTextWindowTest()
    {
        window.resize(600, 300);
        window.show();
    }

    // `count` data lines "<n>", each told written at once unless `wait`.
    void lines(int count, bool wait = false)
    {
        for (int i = 0; i < count; ++i) {
            ++sent;
            text.textArrived(QByteArray::number(sent) + "\r\n");
            if (!wait)
                place();
        }
    }
    void place() { text.lineHandled({LinePlace::Kind::BlockCell, ++placed, 1}); }
    // Everything the model holds, as the window must show it.
    QString expected(bool hex = false) const
    {
        QStringList all;
        for (qsizetype i = 0; i < text.lineCount(); ++i)
            all.append(ReceivedText::shownText(text.line(i), hex));
        return all.join('\n');
    }
    QScrollBar *bar() const { return window.view()->verticalScrollBar(); }

    ReceivedText text;
    ReceivedTextWindow window{text};
    int sent = 0;
    int placed = 0;
};

TEST_F(ReceivedTextWindowTest, ShowsWhatTheTextHoldsAfterEachBatchOfChanges)
{
    lines(300);
    text.textArrived("half a ");
    window.refresh();
    EXPECT_EQ(window.view()->toPlainText(), expected());

    // The unfinished line grows, lines wait and are placed later, old ones go.
    text.textArrived("line\r\n");
    lines(20, true);
    window.refresh();
    EXPECT_EQ(window.view()->toPlainText(), expected());
    for (int i = 0; i < 21; ++i)
        place();
    lines(ReceivedText::kMaxLines);
    window.refresh();
    EXPECT_EQ(window.view()->document()->blockCount(), ReceivedText::kMaxLines);
    EXPECT_EQ(window.view()->toPlainText(), expected());
}

TEST_F(ReceivedTextWindowTest, FollowsTheEndOnlyWhileTheViewIsAtTheBottom)
{
    lines(200);
    window.refresh();
    ASSERT_GT(bar()->maximum(), 0);
    EXPECT_EQ(bar()->value(), bar()->maximum());

    bar()->setValue(10); // the user scrolls up: the view holds
    lines(100);
    window.refresh();
    EXPECT_EQ(bar()->value(), 10);
    EXPECT_LT(bar()->value(), bar()->maximum());

    bar()->setValue(bar()->maximum()); // back at the bottom: it follows again
    window.resize(400, 200);
    lines(100);
    window.refresh();
    EXPECT_EQ(bar()->value(), bar()->maximum());
}

TEST_F(ReceivedTextWindowTest, HexViewAndClearWhichEmptiesTheViewOnly)
{
    text.textArrived("a\tb\r\n");
    place();
    window.refresh();
    window.hexBox()->click();
    EXPECT_EQ(window.view()->toPlainText(), expected(true));
    EXPECT_TRUE(window.view()->toPlainText().endsWith("61 09 62 0D 0A"));

    window.clearButton()->click();
    EXPECT_TRUE(window.view()->toPlainText().isEmpty());
    lines(1);
    window.refresh();
    EXPECT_EQ(window.view()->toPlainText(), expected(true));
    EXPECT_EQ(text.lineCount(), 1);
}

} // namespace
