#include "frmEmulation.h"

#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "KeyPictures.h"
#include "LogCategories.h"
#include "MessageBoxes.h"
#include "RangeRules.h"
#include "ScrollRangeBars.h"
#include "SystemClock.h"
#include "Twips.h"
#include "WholeNumberText.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <stdexcept>

frmEmulation::frmEmulation(EmulatedInstruments &instruments, EmulatorMailbox &mailbox, MessageBoxes &boxes,
                           QWidget *mainWindow, std::shared_ptr<EmulatorClock> clock)
    : QWidget(nullptr, Qt::Window),
      m_instruments(instruments),
      m_mailbox(mailbox),
      m_boxes(boxes),
      m_clock(clock ? std::move(clock) : std::make_shared<SystemClock>())
{
    setObjectName(QStringLiteral("frmEmulation"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Emulator"));
    setFixedSize(twips(8205), twips(6390));
    QFont windowFont(QStringLiteral("DejaVu Sans"));
    windowFont.setPixelSize(11);
    setFont(windowFont);

    buildControls();
    connectControls();
    load(mainWindow);
}

frmEmulation::~frmEmulation()
{
    // Destroyed without being closed (e.g. with the program): still unload.
    if (m_loaded)
        unload();
}

void frmEmulation::connectControls()
{
    // A pick from the list that changes the text arrives twice: as a change
    // of the text, then as the pick; the pick then only runs when its change
    // did not. Typing arrives as an edit, then as a change, and no pick.
    connect(cboMachine, &QComboBox::editTextChanged, this, &frmEmulation::cboMachineChanged);
    connect(cboMachine->lineEdit(), &QLineEdit::textEdited, this, [this] {
        m_machineTyping = true;
        m_machineTextJustChanged = false;
    });
    connect(cboMachine, &QComboBox::textActivated, this, &frmEmulation::cboMachineActivated);

    connect(Timer1, &QTimer::timeout, this, &frmEmulation::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmEmulation::Timer2_Timer);

    connect(txtEOLFrequency, &QLineEdit::textChanged, this, &frmEmulation::txtEOLFrequencyChanged);
    connect(chkInjectTab, &QCheckBox::toggled, this, [this](bool checked) { m_mailbox.setInjectTab(checked); });
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmEmulation::VScroll1Changed);

    // valueChanged stands for both the settled change and the live drag: the
    // bars track their thumb, so the value changes while it is dragged.
    connect(scrollMeasureLS, &QScrollBar::valueChanged, this, [this] { m_measureRules->onMasterChanged(); });
    connect(scrollMeasureMin, &QScrollBar::valueChanged, this, [this] { m_measureRules->onMinimumChanged(); });
    connect(scrollMeasureMax, &QScrollBar::valueChanged, this, [this] { m_measureRules->onMaximumChanged(); });
    connect(chkMaintainMeasureMinMaxWindow, &QCheckBox::toggled, this, [this] { m_measureRules->onBoxClicked(); });
    connect(scrollTempLS, &QScrollBar::valueChanged, this, [this] { m_tempRules->onMasterChanged(); });
    connect(scrollTempMin, &QScrollBar::valueChanged, this, [this] { m_tempRules->onMinimumChanged(); });
    connect(scrollTempMax, &QScrollBar::valueChanged, this, [this] { m_tempRules->onMaximumChanged(); });
    connect(chkMaintainTempMinMaxWindow, &QCheckBox::toggled, this, [this] { m_tempRules->onBoxClicked(); });

    connect(cmdGO, &QPushButton::clicked, this, [this] { m_panel.pressGo(); });
    connect(Command20, &QPushButton::clicked, this, [this] { m_panel.pressEsc(); });
}

void frmEmulation::load(QWidget *mainWindow)
{
    m_loaded = true;
    m_mailbox.setActive(true);
    m_mailbox.setInjectTabClearedHandler([this] { setInjectTabChecked(false); });
    // A request still pending from an earlier opening shows as ticked.
    chkInjectTab->setChecked(m_mailbox.injectTabRequested());

    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        move(main.x() + main.width() + twips(20), main.y());
    }

    m_panel.powerUp();
    updateDisplay();
    placeKeypadPictures();
    showDateAndTime();

    VScroll1->setRange(0, 1215); // the height of famIll in twips
    VScroll1->setSingleStep(15);
    VScroll1->setPageStep(120);

    // Filling the list must not select anything; setting the text afterwards
    // is the change that selects "Strata".
    {
        const QSignalBlocker block(cboMachine);
        cboMachine->addItems({QStringLiteral("Strata"), QStringLiteral("VX-Pella"), QStringLiteral("VX-Orbis"),
                              QStringLiteral("VX-Corva")});
        cboMachine->setCurrentIndex(-1);
        cboMachine->setEditText(QString());
    }
    cboMachine->setEditText(QStringLiteral("Strata"));
    m_machineTextJustChanged = false;

    txtIndex->setText(QStringLiteral("0000"));

    m_measureScrollFocus = 1;
    scrollMeasureLS->setValue(50);
    m_tempScrollFocus = 1;
    scrollTempLS->setValue(50);

    famOrbis->move(famStrata->pos());

    Timer1->start();
    Timer2->start();
}

void frmEmulation::unload()
{
    m_loaded = false;
    Timer1->stop();
    Timer2->stop();
    m_mailbox.setActive(false);
    m_mailbox.setInjectTabClearedHandler({});
}

void frmEmulation::closeEvent(QCloseEvent *event)
{
    if (m_loaded)
        unload();
    event->accept();
}

void frmEmulation::selectMachine(const QString &text)
{
    m_model = EmulatedInstruments::modelNamed(text);
    if (m_model == EmulatedInstruments::Model::Strata) {
        famStrata->show();
        famOrbis->hide();
    } else if (m_model == EmulatedInstruments::Model::Orbis) {
        famStrata->hide();
        famOrbis->show();
    } else if (text == u"VX-Pella") {
        m_boxes.show(QStringLiteral("The VX-Pella machine is not currently emulated"), QStringLiteral("Halvern"));
    } else if (text == u"VX-Corva") {
        m_boxes.show(QStringLiteral("The VX-Corva machine is not currently emulated"), QStringLiteral("Halvern"));
    }
}

void frmEmulation::cboMachineChanged(const QString &text)
{
    m_machineTextJustChanged = !m_machineTyping;
    m_machineTyping = false;
    selectMachine(text);
}

void frmEmulation::cboMachineActivated(const QString &text)
{
    // Picking a different item from the list has already run as a change of
    // the text; picking the item that is already there only arrives here.
    const bool handled = m_machineTextJustChanged;
    m_machineTextJustChanged = false;
    if (!handled)
        selectMachine(text);
}

void frmEmulation::setInjectTabChecked(bool checked) { chkInjectTab->setChecked(checked); }

void frmEmulation::Timer2_Timer()
{
    if (!m_model)
        return; // no emulated machine chosen
    QByteArray output;
    try {
        output = m_instruments.nextOutput(*m_model);
    } catch (const std::exception &e) {
        // Limits spanning more than 16 bits (std::overflow_error) give no
        // line this tick; the window keeps running.
        qCWarning(lcEmulator).noquote() << "No line this tick:" << e.what();
        return;
    }
    m_mailbox.post(output);
    lblNextEmulatorOutput->setText(QString::fromLatin1(output));
}

void frmEmulation::Timer1_Timer()
{
    updateDisplay();
    showDateAndTime();
}

void frmEmulation::updateDisplay()
{
    if (const auto lines = m_panel.updateDisplay()) {
        lblLine1->setText(lines->line1);
        lblLine2->setText(lines->line2);
    }
}

void frmEmulation::placeKeypadPictures()
{
    const std::pair<QLabel *, QPushButton *> pairs[] = {{picGO, cmdGO}, {picUp, cmdUp}, {picDn, cmdDn}, {picLR, cmdLR}};
    for (const auto &[picture, button] : pairs) {
        // 10 twips inside the key's top-left corner.
        picture->move(twips(button->x() * 15 + 10), twips(button->y() * 15 + 10));
        picture->raise();
    }
}

void frmEmulation::showDateAndTime()
{
    const QDateTime now = m_clock->localNow();
    lblDate->setText(now.date().toString(u"MM-dd-yyyy"));
    lblTime->setText(now.time().toString(u"HH:mm:ss"));
}

void frmEmulation::txtEOLFrequencyChanged(const QString &text)
{
    // While the user retypes, the box may hold no valid number: the model
    // keeps its frequency until it does.
    if (const auto frequency = WholeNumberText::toInt16(text))
        m_instruments.orbis().setEOLFrequency(*frequency);
}

void frmEmulation::VScroll1Changed(int value) { famIll->move(famIll->x(), twips(value)); }

bool frmEmulation::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == scrollMeasureLS)
            m_measureRules->onFocus(RangeBars::Master);
        else if (watched == scrollMeasureMin)
            m_measureRules->onFocus(RangeBars::Minimum);
        else if (watched == scrollMeasureMax)
            m_measureRules->onFocus(RangeBars::Maximum);
        else if (watched == scrollTempLS)
            m_tempRules->onFocus(RangeBars::Master);
        else if (watched == scrollTempMin)
            m_tempRules->onFocus(RangeBars::Minimum);
        else if (watched == scrollTempMax)
            m_tempRules->onFocus(RangeBars::Maximum);
    } else if (event->type() == QEvent::KeyRelease && watched == txtIndex) {
        m_instruments.strata().setFourDigitIndex(txtIndex->text().toLatin1());
    } else if (event->type() == QEvent::MouseButtonRelease && watched == picGO) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && picGO->rect().contains(mouse->position().toPoint()))
            cmdGO->click();
    }
    return QWidget::eventFilter(watched, event);
}
