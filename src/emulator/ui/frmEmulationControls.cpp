#include "frmEmulation.h"

#include "EmulatedInstruments.h"
#include "KeyPictures.h"
#include "RangeRules.h"
#include "ScrollRangeBars.h"
#include "Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

// The emulator window's controls, placed where the original form had them.
namespace {

template <class W>
W *place(W *widget, const char *name, int left, int top, int width, int height)
{
    if (name)
        widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
    return widget;
}

QLabel *caption(QWidget *parent, const QString &text, int left, int top, int width, int height = 255)
{
    return place(new QLabel(text, parent), nullptr, left, top, width, height);
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &title, int left, int top, int width, int height)
{
    return place(new QGroupBox(title, parent), name, left, top, width, height);
}

QLabel *valueLabel(QWidget *parent, const char *name, int left, int top, int width, int height = 255)
{
    auto *label = place(new QLabel(parent), name, left, top, width, height);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    label->setPalette(palette);
    return label;
}

QScrollBar *rangeBar(QWidget *parent, const char *name, int left, int top, int width)
{
    auto *bar = place(new QScrollBar(Qt::Horizontal, parent), name, left, top, width, 255);
    bar->setRange(0, 100);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    // A bar records itself when it receives the focus, so it must take it.
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

void fill(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

// A level indicator: a green block (615 x 1215 twips) seen through a
// clipping frame (855 x 975 twips). Returns the block.
QFrame *levelIndicator(QWidget *parent, const char *blockName, int left, int top)
{
    auto *clip = place(new QFrame(parent), nullptr, left, top, 855, 975);
    clip->setFrameShape(QFrame::Panel);
    clip->setFrameShadow(QFrame::Sunken);
    fill(clip, QColor(24, 32, 24));
    auto *block = place(new QFrame(clip), blockName, 120, 0, 615, 1215);
    fill(block, QColor(0, 192, 0));
    return block;
}

} // namespace

void frmEmulation::buildControls()
{
    caption(this, QStringLiteral("Machine Emulating:"), 90, 135, 1800);
    cboMachine = place(new QComboBox(this), "cboMachine", 1920, 90, 2040, 330);
    cboMachine->setEditable(true);
    cboMachine->setInsertPolicy(QComboBox::NoInsert);
    // Typing must leave a half-typed name as it is, not complete it.
    cboMachine->setCompleter(nullptr);

    buildStrataPanel();
    buildOrbisPanel();
    buildFrontPanel();

    lblNextEmulatorOutput = place(new QLabel(this), "lblNextEmulatorOutput", 90, 5535, 8025, 765);
    lblNextEmulatorOutput->setFrameShape(QFrame::Panel);
    lblNextEmulatorOutput->setFrameShadow(QFrame::Sunken);
    lblNextEmulatorOutput->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblNextEmulatorOutput->setTextFormat(Qt::PlainText);
    lblNextEmulatorOutput->setContentsMargins(4, 2, 4, 2);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(12);
    lblNextEmulatorOutput->setFont(mono);
    fill(lblNextEmulatorOutput, QColor(16, 24, 16));
    QPalette palette = lblNextEmulatorOutput->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 255, 128));
    lblNextEmulatorOutput->setPalette(palette);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(250);
}

void frmEmulation::buildStrataPanel()
{
    famStrata = frame(this, "famStrata", QStringLiteral("Strata Emulation Control Panel"), 90, 495, 3870, 4950);
    caption(famStrata, QStringLiteral("Index Number:"), 150, 345, 1350);
    txtIndex = place(new QLineEdit(famStrata), "txtIndex", 1560, 300, 900, 330);
    txtIndex->installEventFilter(this);

    caption(famStrata, QStringLiteral("Date:"), 150, 750, 500);
    lblDate = valueLabel(famStrata, "lblDate", 660, 735, 1260, 285);
    caption(famStrata, QStringLiteral("Time:"), 2040, 750, 500);
    lblTime = valueLabel(famStrata, "lblTime", 2550, 735, 1170, 285);

    auto buildSet = [this](const char *frameName, const QString &title, int top, const char *names[7]) {
        QGroupBox *set = frame(famStrata, frameName, title, 120, top, 3630, 1800);
        const QString captions[3] = {QStringLiteral("Master:"), QStringLiteral("Minimum:"), QStringLiteral("Maximum:")};
        QScrollBar *bars[3];
        QLabel *labels[3];
        for (int i = 0; i < 3; ++i) {
            const int y = 330 + i * 360;
            caption(set, captions[i], 120, y, 900);
            bars[i] = rangeBar(set, names[i], 1050, y, 1980);
            bars[i]->installEventFilter(this);
            labels[i] = valueLabel(set, names[3 + i], 3090, y, 420);
            labels[i]->setText(QStringLiteral("0"));
        }
        auto *box =
            place(new QCheckBox(QStringLiteral("Maintain Min/Max Window"), set), names[6], 120, 1410, 3000, 285);
        return std::make_unique<ScrollRangeBars>(bars[0], bars[1], bars[2], labels[0], labels[1], labels[2], box);
    };

    const char *measure[7] = {"scrollMeasureLS",
                              "scrollMeasureMin",
                              "scrollMeasureMax",
                              "lblMeasureLS",
                              "lblMeasureMin",
                              "lblMeasureMax",
                              "chkMaintainMeasureMinMaxWindow"};
    const char *temp[7] = {"scrollTempLS",
                           "scrollTempMin",
                           "scrollTempMax",
                           "lblTempLS",
                           "lblTempMin",
                           "lblTempMax",
                           "chkMaintainTempMinMaxWindow"};
    m_measureBars = buildSet("fraMeasurement", QStringLiteral("Measurement Control "), 1110, measure);
    m_tempBars = buildSet("fraTemperature", QStringLiteral("Temperature Control "), 3000, temp);

    scrollMeasureLS = famStrata->findChild<QScrollBar *>(QStringLiteral("scrollMeasureLS"));
    scrollMeasureMin = famStrata->findChild<QScrollBar *>(QStringLiteral("scrollMeasureMin"));
    scrollMeasureMax = famStrata->findChild<QScrollBar *>(QStringLiteral("scrollMeasureMax"));
    lblMeasureLS = famStrata->findChild<QLabel *>(QStringLiteral("lblMeasureLS"));
    lblMeasureMin = famStrata->findChild<QLabel *>(QStringLiteral("lblMeasureMin"));
    lblMeasureMax = famStrata->findChild<QLabel *>(QStringLiteral("lblMeasureMax"));
    chkMaintainMeasureMinMaxWindow =
        famStrata->findChild<QCheckBox *>(QStringLiteral("chkMaintainMeasureMinMaxWindow"));
    scrollTempLS = famStrata->findChild<QScrollBar *>(QStringLiteral("scrollTempLS"));
    scrollTempMin = famStrata->findChild<QScrollBar *>(QStringLiteral("scrollTempMin"));
    scrollTempMax = famStrata->findChild<QScrollBar *>(QStringLiteral("scrollTempMax"));
    lblTempLS = famStrata->findChild<QLabel *>(QStringLiteral("lblTempLS"));
    lblTempMin = famStrata->findChild<QLabel *>(QStringLiteral("lblTempMin"));
    lblTempMax = famStrata->findChild<QLabel *>(QStringLiteral("lblTempMax"));
    chkMaintainTempMinMaxWindow = famStrata->findChild<QCheckBox *>(QStringLiteral("chkMaintainTempMinMaxWindow"));

    m_measureRules = std::make_unique<RangeRules>(
        *m_measureBars, m_measureScrollFocus, m_measureWindow,
        [this](std::int16_t v) { m_instruments.strata().setMinMeasurement(v); },
        [this](std::int16_t v) { m_instruments.strata().setMaxMeasurement(v); });
    m_tempRules = std::make_unique<RangeRules>(
        *m_tempBars, m_tempScrollFocus, m_tempWindow,
        [this](std::int16_t v) { m_instruments.strata().setMinTemperature(v); },
        [this](std::int16_t v) { m_instruments.strata().setMaxTemperature(v); });
}

void frmEmulation::buildOrbisPanel()
{
    famOrbis = frame(this, "famOrbis", QStringLiteral("Orbis Emulation Control Panel"), 90, 495, 3870, 4950);
    famOrbis->hide();

    QGroupBox *eol = frame(famOrbis, "fraEOLFrequency", QStringLiteral("EOL Frequency"), 120, 300, 3630, 780);
    caption(eol, QStringLiteral("Every:"), 150, 375, 660);
    txtEOLFrequency = place(new QLineEdit(QStringLiteral("16"), eol), "txtEOLFrequency", 840, 330, 900, 330);
    caption(eol, QStringLiteral("Samples"), 1830, 375, 1200);

    chkInjectTab =
        place(new QCheckBox(QStringLiteral("Inject Single Tab"), famOrbis), "chkInjectTab", 150, 1200, 3000, 285);

    QGroupBox *base = frame(famOrbis, "fraBaseLevel", QStringLiteral("Base Level"), 120, 1620, 1755, 1500);
    VScroll1 = place(new QScrollBar(Qt::Vertical, base), "VScroll1", 180, 360, 285, 975);
    famIll = levelIndicator(base, "famIll", 645, 360);

    QGroupBox *noise = frame(famOrbis, "fraNoiseLevel", QStringLiteral("Noise Level"), 1995, 1620, 1755, 1500);
    VScroll2 = place(new QScrollBar(Qt::Vertical, noise), "VScroll2", 180, 360, 285, 975);
    levelIndicator(noise, "famNoise", 645, 360);

    QGroupBox *both =
        frame(famOrbis, "fraBaseLevelWithNoise", QStringLiteral("Base Level with Noise"), 120, 3240, 3630, 1500);
    levelIndicator(both, "famBaseNoise", 1387, 360);
}

void frmEmulation::buildFrontPanel()
{
    QGroupBox *dlr = frame(this, "fraDLRPanel", QStringLiteral("DLR Panel"), 4050, 90, 4065, 5355);
    // The instrument's housing: dark, with a light caption.
    fill(dlr, QColor(58, 63, 68));
    QPalette housing = dlr->palette();
    housing.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dlr->setPalette(housing);

    Picture5 = place(new QFrame(dlr), "Picture5", 105, 420, 3855, 975);
    Picture5->setFrameShape(QFrame::Panel);
    Picture5->setFrameShadow(QFrame::Sunken);
    Picture5->setLineWidth(2);
    fill(Picture5, QColor(128, 255, 128));
    QFont displayFont(QStringLiteral("DejaVu Sans"));
    displayFont.setStretch(QFont::SemiCondensed);
    displayFont.setPointSize(18);
    const QString design(16, QLatin1Char('A'));
    lblLine1 = place(new QLabel(design, Picture5), "lblLine1", 120, 60, 3600, 435);
    lblLine2 = place(new QLabel(design, Picture5), "lblLine2", 120, 495, 3600, 435);
    for (QLabel *line : {lblLine1, lblLine2}) {
        line->setFont(displayFont);
        line->setTextFormat(Qt::PlainText); // "<ESC>" is text, not a tag
        line->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QPalette palette = line->palette();
        palette.setColor(QPalette::WindowText, QColor(16, 40, 16));
        line->setPalette(palette);
    }

    // Four rows of five square keys.
    const char *keys[4][5] = {{"ESC", "7", "8", "9", "HOME"},
                              {"Up", "4", "5", "6", "LR"},
                              {"Dn", "1", "2", "3", "ENT"},
                              {"Del", "Setup", "0", "INJ", "GO"}};
    QFont keyFont(QStringLiteral("DejaVu Sans"));
    keyFont.setPixelSize(10);
    keyFont.setBold(true);
    const int keyLeft = 255, keyTop = 1980, size = 615, gap = 120;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 5; ++column) {
            const QString text = QString::fromLatin1(keys[row][column]);
            auto *key = place(new QPushButton(text, dlr), nullptr, keyLeft + column * (size + gap),
                              keyTop + row * (size + gap), size, size);
            key->setObjectName(QStringLiteral("cmdKey") + text);
            key->setFont(keyFont);
            key->setFocusPolicy(Qt::NoFocus);
            if (text == u"ESC")
                Command20 = key;
            else if (text == u"Up")
                cmdUp = key;
            else if (text == u"Dn")
                cmdDn = key;
            else if (text == u"LR")
                cmdLR = key;
            else if (text == u"GO")
                cmdGO = key;
        }
    }
    Command20->setObjectName(QStringLiteral("Command20"));
    cmdUp->setObjectName(QStringLiteral("cmdUp"));
    cmdDn->setObjectName(QStringLiteral("cmdDn"));
    cmdLR->setObjectName(QStringLiteral("cmdLR"));
    cmdGO->setObjectName(QStringLiteral("cmdGO"));

    auto picture = [dlr](const char *name, KeyPictures::Symbol symbol) {
        auto *pic = place(new QLabel(dlr), name, 0, 0, 555, 555);
        pic->setPixmap(KeyPictures::draw(symbol));
        return pic;
    };
    picUp = picture("picUp", KeyPictures::Symbol::Up);
    picDn = picture("picDn", KeyPictures::Symbol::Down);
    picLR = picture("picLR", KeyPictures::Symbol::LeftRight);
    picGO = picture("picGO", KeyPictures::Symbol::Go);
    picGO->installEventFilter(this);
}
