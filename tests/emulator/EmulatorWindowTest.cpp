// The emulator window on offscreen Qt: load sequence, machine selector,
// output tick, range bars, Orbis controls, front panel, close and reopen.
// Timers are stopped and their slots driven directly.
#include "Clicks.h"
#include "EmulatorFakes.h"
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "RecordingMessageBoxes.h"
#include "frmEmulation.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kFirstLine("0 0000 :: 12-06-2026 14:03:59 = 50 (RAW)  50 (C)\r\n");

struct EmulatorWindowTest : ::testing::Test {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ScriptedRandom> random = std::make_shared<ScriptedRandom>();
    EmulatedInstruments instruments{clock, random};
    EmulatorMailbox mailbox;
    RecordingMessageBoxes boxes;
    QWidget mainWindow;
    QPointer<frmEmulation> w;

    void SetUp() override
    {
        mainWindow.setGeometry(100, 80, 600, 400);
        open();
    }
    void TearDown() override { closeWindow(); }

    void open()
    {
        w = new frmEmulation(instruments, mailbox, boxes, &mainWindow, clock);
        w->timer1()->stop();
        w->timer2()->stop();
        w->show();
    }
    void closeWindow()
    {
        if (w)
            w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <class T>
    T *child(const char *name) const
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_TRUE(c) << name;
        return c;
    }
    QString text(const char *label) const { return child<QLabel>(label)->text(); }
    int bar(const char *name) const { return child<QScrollBar>(name)->value(); }
    // The user takes a bar (it receives the focus) and moves it.
    void drag(const char *name, int value)
    {
        auto *b = child<QScrollBar>(name);
        QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(b, &focusIn);
        b->setValue(value);
    }
    void choose(const QString &machine) { child<QComboBox>("cboMachine")->setCurrentText(machine); }
    // One output tick; returns what it posted (the mailbox is emptied first,
    // as the main window does when it takes the text).
    QByteArray tick()
    {
        mailbox.takeOutput();
        w->Timer2_Timer();
        return mailbox.takeOutput();
    }
    void seconds(int n)
    {
        for (int i = 0; i < n; ++i)
            w->Timer1_Timer();
    }
    QString display() const { return text("lblLine1") + '|' + text("lblLine2"); }
};

} // namespace

TEST_F(EmulatorWindowTest, LoadSequence)
{
    EXPECT_TRUE(mailbox.isActive());
    EXPECT_EQ(w->windowTitle(), "Emulator");
    EXPECT_EQ(w->size(), QSize(547, 426)); // 8205 x 6390 twips
    // 20 twips right of the main window, level with its top.
    EXPECT_EQ(w->pos(), QPoint(mainWindow.frameGeometry().right() + 1 + 1, 80));

    auto *cbo = child<QComboBox>("cboMachine");
    ASSERT_EQ(cbo->count(), 4);
    EXPECT_EQ(cbo->itemText(0), "Strata");
    EXPECT_EQ(cbo->itemText(1), "VX-Pella");
    EXPECT_EQ(cbo->itemText(2), "VX-Orbis");
    EXPECT_EQ(cbo->itemText(3), "VX-Corva");
    EXPECT_EQ(cbo->currentText(), "Strata");
    EXPECT_TRUE(child<QGroupBox>("famStrata")->isVisible());
    EXPECT_FALSE(child<QGroupBox>("famOrbis")->isVisible());
    EXPECT_EQ(child<QGroupBox>("famOrbis")->pos(), child<QGroupBox>("famStrata")->pos());
    EXPECT_EQ(child<QGroupBox>("fraMeasurement")->title(), "Measurement Control ");
    EXPECT_EQ(child<QGroupBox>("fraTemperature")->title(), "Temperature Control ");

    EXPECT_EQ(child<QLineEdit>("txtIndex")->text(), "0000");
    EXPECT_EQ(child<QLineEdit>("txtEOLFrequency")->text(), "16");
    for (const char *name :
         {"scrollMeasureLS", "scrollMeasureMin", "scrollMeasureMax", "scrollTempLS", "scrollTempMin", "scrollTempMax"})
        EXPECT_EQ(bar(name), 50) << name;
    for (const char *name : {"lblMeasureLS", "lblMeasureMin", "lblMeasureMax", "lblTempLS", "lblTempMin", "lblTempMax"})
        EXPECT_EQ(text(name), "50") << name;
    EXPECT_EQ(w->measureScrollFocus(), 1);
    EXPECT_EQ(w->tempScrollFocus(), 1);
    EXPECT_FALSE(child<QCheckBox>("chkInjectTab")->isChecked());
    EXPECT_EQ(child<QScrollBar>("VScroll1")->maximum(), 1215);

    EXPECT_EQ(display(), "QUENTARO WORKS|300");
    EXPECT_EQ(text("lblDate"), "12-06-2026");
    EXPECT_EQ(text("lblTime"), "14:03:59");
    EXPECT_EQ(w->timer1()->interval(), 1000);
    EXPECT_EQ(w->timer2()->interval(), 250);

    // Every tick posts a fresh Strata line, overwriting the mailbox.
    for (int i = 0; i < 3; ++i) {
        w->Timer2_Timer();
        EXPECT_EQ(mailbox.output(), kFirstLine);
        EXPECT_EQ(text("lblNextEmulatorOutput"), QString::fromLatin1(kFirstLine));
    }
}

TEST_F(EmulatorWindowTest, TimersRunFromLoad)
{
    closeWindow();
    w = new frmEmulation(instruments, mailbox, boxes, &mainWindow, clock);
    EXPECT_TRUE(w->timer1()->isActive());
    EXPECT_TRUE(w->timer2()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(mailbox.output() == kFirstLine, 2000);
}

TEST_F(EmulatorWindowTest, OrbisSwitchesPanelAndOutput)
{
    tick();
    choose("VX-Orbis");
    EXPECT_FALSE(child<QGroupBox>("famStrata")->isVisible());
    EXPECT_TRUE(child<QGroupBox>("famOrbis")->isVisible());
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
    EXPECT_EQ(tick(), QByteArray("9999\r\n"));
    EXPECT_EQ(text("lblNextEmulatorOutput"), "9999\r\n");
    EXPECT_TRUE(boxes.boxes.isEmpty());

    choose("Strata");
    EXPECT_TRUE(child<QGroupBox>("famStrata")->isVisible());
    EXPECT_EQ(tick(), kFirstLine);
}

TEST_F(EmulatorWindowTest, MachinesNotEmulatedShowTheirBoxAndStopOutput)
{
    const std::pair<const char *, const char *> machines[] = {
        {"VX-Pella", "The VX-Pella machine is not currently emulated"},
        {"VX-Corva", "The VX-Corva machine is not currently emulated"}};
    for (const auto &[machine, message] : machines) {
        boxes.boxes.clear();
        choose("Strata");
        tick();
        choose(machine);
        ASSERT_EQ(boxes.boxes.size(), 1) << machine;
        EXPECT_EQ(boxes.boxes[0].text, message);
        EXPECT_EQ(boxes.boxes[0].title, "Halvern");
        EXPECT_EQ(boxes.boxes[0].buttons, MessageBoxes::Buttons::Ok);
        EXPECT_TRUE(child<QGroupBox>("famStrata")->isVisible()); // panels unchanged
        EXPECT_EQ(tick(), QByteArray());
        EXPECT_EQ(text("lblNextEmulatorOutput"), QString::fromLatin1(kFirstLine));
    }
}

TEST_F(EmulatorWindowTest, PickingFromTheListShowsOneBoxAndAgainOnARepeatedPick)
{
    auto *cbo = child<QComboBox>("cboMachine");
    // A pick that changes the text: index change, text change, then activation.
    cbo->setCurrentIndex(1);
    emit cbo->textActivated(cbo->currentText());
    EXPECT_EQ(boxes.boxes.size(), 1);
    // Picking the same item again changes no text but is still a pick.
    emit cbo->textActivated(cbo->currentText());
    EXPECT_EQ(boxes.boxes.size(), 2);

    // Typed in full, then picked from the list: the typing and the pick.
    cbo->lineEdit()->selectAll();
    QTest::keyClicks(cbo->lineEdit(), "VX-Corva");
    EXPECT_EQ(boxes.boxes.size(), 3);
    cbo->setCurrentIndex(3);
    emit cbo->textActivated(cbo->currentText());
    ASSERT_EQ(boxes.boxes.size(), 4);
    EXPECT_EQ(boxes.boxes[3].text, "The VX-Corva machine is not currently emulated");
}

TEST_F(EmulatorWindowTest, HalfTypedNameStopsOutputUntilCompleted)
{
    auto *edit = child<QComboBox>("cboMachine")->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "Str");
    EXPECT_EQ(child<QComboBox>("cboMachine")->currentText(), "Str");
    EXPECT_EQ(tick(), QByteArray());
    EXPECT_TRUE(child<QGroupBox>("famStrata")->isVisible());
    QTest::keyClicks(edit, "ata");
    EXPECT_EQ(tick(), kFirstLine);

    // Typing "VX-Orbis" letter by letter selects it on the last letter only.
    edit->selectAll();
    QTest::keyClicks(edit, "VX-Orbi");
    EXPECT_TRUE(child<QGroupBox>("famStrata")->isVisible());
    QTest::keyClicks(edit, "s");
    EXPECT_TRUE(child<QGroupBox>("famOrbis")->isVisible());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(EmulatorWindowTest, MeasurementBarsDriveTheReadings)
{
    drag("scrollMeasureLS", 30);
    EXPECT_EQ(bar("scrollMeasureMin"), 30);
    EXPECT_EQ(bar("scrollMeasureMax"), 30);
    EXPECT_EQ(text("lblMeasureLS"), "30");
    EXPECT_TRUE(tick().contains("= 30 (RAW)  50 (C)"));

    // Box unticked, maximum 40: the minimum to 60 takes the maximum along.
    drag("scrollMeasureMax", 40);
    drag("scrollMeasureMin", 60);
    EXPECT_EQ(bar("scrollMeasureMax"), 60);
    EXPECT_EQ(text("lblMeasureMax"), "60");
    EXPECT_EQ(w->measureScrollFocus(), 2);

    // Moving the master unticks the box and frees the master again.
    auto *box = child<QCheckBox>("chkMaintainMeasureMinMaxWindow");
    box->click();
    EXPECT_FALSE(child<QScrollBar>("scrollMeasureLS")->isEnabled());
    child<QScrollBar>("scrollMeasureLS")->setValue(10);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(child<QScrollBar>("scrollMeasureLS")->isEnabled());
}

TEST_F(EmulatorWindowTest, TemperatureWindowKeepsItsWidth)
{
    random->values = {0.0f}; // every draw gives its minimum
    drag("scrollTempMin", 20);
    EXPECT_EQ(bar("scrollTempMax"), 50);
    child<QCheckBox>("chkMaintainTempMinMaxWindow")->click();
    EXPECT_EQ(w->tempWindow(), 30);
    EXPECT_FALSE(child<QScrollBar>("scrollTempLS")->isEnabled());

    drag("scrollTempMin", 80);
    EXPECT_EQ(bar("scrollTempMax"), 100);
    EXPECT_EQ(text("lblTempMax"), "100");
    drag("scrollTempMin", 40);
    EXPECT_EQ(bar("scrollTempMax"), 70);
    EXPECT_TRUE(tick().contains("= 50 (RAW)  40 (C)"));
    random->values = {0.0f, 0.99999994f};
    random->position = 0;
    EXPECT_TRUE(tick().contains("= 50 (RAW)  70 (C)"));
    // The measurement set was not touched.
    EXPECT_EQ(bar("scrollMeasureMin"), 50);
    EXPECT_EQ(bar("scrollMeasureMax"), 50);
}

TEST_F(EmulatorWindowTest, OverflowingLimitsProduceNothing)
{
    tick();
    instruments.strata().setMinMeasurement(-32768);
    instruments.strata().setMaxMeasurement(32767);
    EXPECT_EQ(tick(), QByteArray());
    EXPECT_EQ(text("lblNextEmulatorOutput"), QString::fromLatin1(kFirstLine));
    EXPECT_TRUE(mailbox.isActive());
}

TEST_F(EmulatorWindowTest, IndexIsReadOnKeyRelease)
{
    auto *index = child<QLineEdit>("txtIndex");
    index->setText("42"); // set from code: the model does not hear of it
    EXPECT_TRUE(tick().startsWith("0 0000 :: "));
    index->clear();
    QTest::keyClicks(index, "12ab");
    EXPECT_TRUE(tick().startsWith("0 0012 :: "));
    index->setText("40000");
    QTest::keyClick(index, Qt::Key_End);
    EXPECT_TRUE(tick().startsWith("0 0012 :: ")); // out of range keeps the index
}

TEST_F(EmulatorWindowTest, EOLFrequencyBoxIgnoresTextThatIsNoWholeNumber)
{
    choose("VX-Orbis");
    auto *frequency = child<QLineEdit>("txtEOLFrequency");
    frequency->setText("2");
    for (const char *junk : {"", "abc", "99999"})
        frequency->setText(junk); // the model keeps 2
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
    EXPECT_EQ(tick(), QByteArray("9999\r\n"));
    EXPECT_EQ(tick(), QByteArray("9999\r\n"));
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
    frequency->setText("0.5"); // rounds to 0: groups only
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
}

TEST_F(EmulatorWindowTest, InjectTabBoxFollowsTheRequest)
{
    auto *box = child<QCheckBox>("chkInjectTab");
    box->click();
    EXPECT_TRUE(mailbox.injectTabRequested());
    w->setInjectTabChecked(false); // what the main window does after injecting
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(mailbox.injectTabRequested());
}

TEST_F(EmulatorWindowTest, BaseLevelBarMovesTheIndicator)
{
    auto *level = child<QScrollBar>("VScroll1");
    auto *block = child<QFrame>("famIll");
    EXPECT_EQ(block->size(), QSize(41, 81)); // 615 x 1215 twips
    level->setValue(1215);
    EXPECT_EQ(block->y(), 81);
    level->setValue(600);
    EXPECT_EQ(block->y(), 40);
}

TEST_F(EmulatorWindowTest, FrontPanelTimeline)
{
    EXPECT_EQ(display(), "QUENTARO WORKS|300");
    seconds(1);
    EXPECT_EQ(display(), "QUENTARO WORKS|299");
    seconds(298);
    EXPECT_EQ(display(), "QUENTARO WORKS|1");
    seconds(1);
    EXPECT_EQ(display(), "0.000|Rdy");

    child<QPushButton>("cmdGO")->click();
    seconds(11);
    EXPECT_EQ(display(), "Int: 5990|<ESC>- Abort");

    // Every key other than GO and ESC, and the pictures other than GO's,
    // change nothing.
    const QStringList others = {"7", "8", "9", "HOME", "4", "5", "6", "1", "2", "3", "ENT", "Del", "Setup", "0", "INJ"};
    for (const QString &key : others)
        w->findChild<QPushButton *>("cmdKey" + key)->click();
    for (const char *name : {"cmdUp", "cmdDn", "cmdLR"})
        child<QPushButton>(name)->click();
    for (const char *name : {"picUp", "picDn", "picLR"})
        click(child<QLabel>(name));
    seconds(1);
    EXPECT_EQ(display(), "Int: 5989|<ESC>- Abort");

    child<QPushButton>("Command20")->click();
    EXPECT_EQ(display(), "Int: 5989|<ESC>- Abort"); // shown at the next tick
    seconds(1);
    EXPECT_EQ(display(), "0.000|Rdy");
    for (const QString &key : others)
        w->findChild<QPushButton *>("cmdKey" + key)->click();
    seconds(1);
    EXPECT_EQ(display(), "0.000|Rdy");

    // The GO picture presses GO.
    click(child<QLabel>("picGO"));
    seconds(1);
    EXPECT_EQ(display(), "Int: 6000|<ESC>- Abort");
}

TEST_F(EmulatorWindowTest, EscAndGoEndThePowerUpCount)
{
    seconds(5);
    child<QPushButton>("Command20")->click();
    seconds(1);
    EXPECT_EQ(display(), "0.000|Rdy");
    closeWindow();
    open();
    seconds(5);
    child<QPushButton>("cmdGO")->click();
    seconds(1);
    EXPECT_EQ(display(), "Int: 6000|<ESC>- Abort");
}

TEST_F(EmulatorWindowTest, KeyPicturesLieOverTheirKeys)
{
    const std::pair<const char *, const char *> pairs[] = {
        {"picGO", "cmdGO"}, {"picUp", "cmdUp"}, {"picDn", "cmdDn"}, {"picLR", "cmdLR"}};
    for (const auto &[picName, keyName] : pairs) {
        auto *pic = child<QLabel>(picName);
        auto *key = child<QPushButton>(keyName);
        EXPECT_EQ(pic->size(), QSize(37, 37)) << picName;
        EXPECT_EQ(pic->pos(), key->pos() + QPoint(1, 1)) << picName;
        EXPECT_EQ(pic->parentWidget()->childAt(key->geometry().center()), pic) << picName;
        const QImage image = pic->pixmap().toImage();
        EXPECT_EQ(image.size(), QSize(37, 37));
        // Black symbol in the middle, coloured ground at the corner.
        EXPECT_EQ(QColor(image.pixel(1, 1)), QString(picName) == "picGO" ? QColor(0, 192, 0) : QColor(192, 192, 192));
    }
    const QImage up = child<QLabel>("picUp")->pixmap().toImage();
    EXPECT_EQ(QColor(up.pixel(18, 22)), QColor(Qt::black));
    EXPECT_EQ(QColor(up.pixel(18, 4)), QColor(192, 192, 192));
    const QImage down = child<QLabel>("picDn")->pixmap().toImage();
    EXPECT_EQ(QColor(down.pixel(18, 14)), QColor(Qt::black));
    EXPECT_EQ(QColor(down.pixel(18, 33)), QColor(192, 192, 192));
}

TEST_F(EmulatorWindowTest, CloseAndReopenLoadsAfresh)
{
    instruments.orbis().setEOLFrequency(1);
    QTest::keyClicks(child<QLineEdit>("txtIndex"), "7"); // "00007": index 7
    drag("scrollMeasureLS", 20);
    child<QCheckBox>("chkInjectTab")->click();
    seconds(3);

    closeWindow();
    EXPECT_TRUE(w.isNull()); // deleted on close
    EXPECT_FALSE(mailbox.isActive());
    EXPECT_TRUE(mailbox.injectTabRequested()); // still pending

    open();
    EXPECT_TRUE(mailbox.isActive());
    EXPECT_TRUE(child<QCheckBox>("chkInjectTab")->isChecked());
    EXPECT_EQ(child<QLineEdit>("txtIndex")->text(), "0000");
    EXPECT_EQ(bar("scrollMeasureMin"), 50);
    EXPECT_EQ(display(), "QUENTARO WORKS|300");
    // The models kept their state: index 7, Orbis frequency 1.
    EXPECT_EQ(tick(), QByteArray("0 0007 :: 12-06-2026 14:03:59 = 50 (RAW)  50 (C)\r\n"));
    choose("VX-Orbis");
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
    EXPECT_EQ(tick(), QByteArray("9999\r\n"));
    EXPECT_EQ(tick(), QByteArray("\r\n\r\n\r\n"));
}

TEST_F(EmulatorWindowTest, ClosingAnOldWindowAfterANewOneLoadedKeepsTheFlag)
{
    QPointer<frmEmulation> old = w;
    old->close(); // deletion still pending
    open();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_TRUE(mailbox.isActive());
}
