#pragma once

#include "EmulatedInstruments.h"
#include "FrontPanel.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

class EmulatorClock;
class MessageBoxes;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTimer;
class RangeRules;
class ScrollRangeBars;
class EmulatorMailbox;

// The instrument emulator window. While it is loaded (from construction to
// close) it marks the mailbox active and, every 250 ms, posts the selected
// model's next output there for the acquisition run to take.
// It deletes itself when closed; the main window makes a new one (a fresh
// load) the next time the user asks for it.
class frmEmulation : public QWidget {
    Q_OBJECT

public:
    // mainWindow: the window to stand beside (may be null). A null clock uses
    // the machine's own.
    frmEmulation(EmulatedInstruments &instruments, EmulatorMailbox &mailbox, MessageBoxes &boxes, QWidget *mainWindow,
                 std::shared_ptr<EmulatorClock> clock = nullptr);
    ~frmEmulation() override;

    void selectMachine(const QString &text);
    // Ticks or unticks "Inject Single Tab"; the box's own handling then sets
    // or clears the mailbox's inject request.
    void setInjectTabChecked(bool checked);

    void updateDisplay();
    void placeKeypadPictures();

    const FrontPanel &frontPanel() const { return m_panel; }
    std::int16_t measureScrollFocus() const { return m_measureScrollFocus; }
    std::int16_t tempScrollFocus() const { return m_tempScrollFocus; }
    std::int16_t tempWindow() const { return m_tempWindow; }
    QTimer *timer1() const { return Timer1; }
    QTimer *timer2() const { return Timer2; }

public slots:
    void Timer1_Timer(); // front-panel display, every 1000 ms
    void Timer2_Timer(); // output, every 250 ms

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildStrataPanel();
    void buildOrbisPanel();
    void buildFrontPanel();
    void connectControls();
    void load(QWidget *mainWindow);
    void unload();
    void showDateAndTime();
    void cboMachineChanged(const QString &text);
    void cboMachineActivated(const QString &text);
    void txtEOLFrequencyChanged(const QString &text);
    void VScroll1Changed(int value);

    EmulatedInstruments &m_instruments;
    EmulatorMailbox &m_mailbox;
    MessageBoxes &m_boxes;
    std::shared_ptr<EmulatorClock> m_clock;
    FrontPanel m_panel;
    bool m_loaded = false;
    bool m_machineTextJustChanged = false;
    bool m_machineTyping = false;
    std::optional<EmulatedInstruments::Model> m_model; // the machine the text names, when emulated

    QComboBox *cboMachine = nullptr;
    QGroupBox *famStrata = nullptr;
    QLineEdit *txtIndex = nullptr;
    QLabel *lblDate = nullptr;
    QLabel *lblTime = nullptr;
    QScrollBar *scrollMeasureLS = nullptr, *scrollMeasureMin = nullptr, *scrollMeasureMax = nullptr;
    QLabel *lblMeasureLS = nullptr, *lblMeasureMin = nullptr, *lblMeasureMax = nullptr;
    QCheckBox *chkMaintainMeasureMinMaxWindow = nullptr;
    QScrollBar *scrollTempLS = nullptr, *scrollTempMin = nullptr, *scrollTempMax = nullptr;
    QLabel *lblTempLS = nullptr, *lblTempMin = nullptr, *lblTempMax = nullptr;
    QCheckBox *chkMaintainTempMinMaxWindow = nullptr;

    QGroupBox *famOrbis = nullptr;
    QLineEdit *txtEOLFrequency = nullptr;
    QCheckBox *chkInjectTab = nullptr;
    QScrollBar *VScroll1 = nullptr;
    QScrollBar *VScroll2 = nullptr;
    QFrame *famIll = nullptr;

    QFrame *Picture5 = nullptr;
    QLabel *lblLine1 = nullptr;
    QLabel *lblLine2 = nullptr;
    QPushButton *Command20 = nullptr, *cmdUp = nullptr, *cmdDn = nullptr, *cmdLR = nullptr, *cmdGO = nullptr;
    QLabel *picUp = nullptr, *picDn = nullptr, *picLR = nullptr, *picGO = nullptr;

    QLabel *lblNextEmulatorOutput = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;

    std::unique_ptr<ScrollRangeBars> m_measureBars;
    std::unique_ptr<ScrollRangeBars> m_tempBars;
    std::unique_ptr<RangeRules> m_measureRules;
    std::unique_ptr<RangeRules> m_tempRules;
    // Range-bar state: which bar of each set has the focus, and the
    // minimum-to-maximum window kept while "Maintain Min/Max Window" is ticked.
    std::int16_t m_measureScrollFocus = 1;
    std::int16_t m_measureWindow = 0;
    std::int16_t m_tempScrollFocus = 1;
    std::int16_t m_tempWindow = 0;
};
