// Shows the emulator window on its own, with freshly reset models.
//   halvern_emulator_preview [--machine NAME] [--seconds N] [--go] [--ticks N]
// --machine selects a machine after the load, --seconds runs N front-panel
// ticks at once, --go presses GO, --ticks runs N output ticks at once.
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "QtMessageBoxes.h"
#include "frmEmulation.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QPushButton>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption machine("machine", "Machine to select after the load.", "name");
    const QCommandLineOption seconds("seconds", "Front-panel ticks to run at once.", "n", "0");
    const QCommandLineOption go("go", "Press GO.");
    const QCommandLineOption ticks("ticks", "Output ticks to run at once.", "n", "0");
    parser.addOptions({machine, seconds, go, ticks});
    parser.process(app);

    EmulatedInstruments instruments;
    EmulatorMailbox mailbox;
    QtMessageBoxes boxes;

    auto *window = new frmEmulation(instruments, mailbox, boxes, nullptr);
    window->move(16, 16);
    if (parser.isSet(machine))
        window->findChild<QComboBox *>("cboMachine")->setCurrentText(parser.value(machine));
    if (parser.isSet(go))
        window->findChild<QPushButton *>("cmdGO")->click();
    for (int i = parser.value(seconds).toInt(); i > 0; --i)
        window->Timer1_Timer();
    for (int i = parser.value(ticks).toInt(); i > 0; --i)
        window->Timer2_Timer();
    window->show();
    return app.exec();
}
