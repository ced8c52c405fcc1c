// A helper the serial tests start as a separate process:
//   serial_port_tool hold <device>  opens the node behind the device path with
//                                   QSerialPort (which takes its lock file), prints "held" and
//                                   keeps it until its input closes
//   serial_port_tool open <device>  opens the device as COM5 through the
//                                   serial component and prints the failure:
//                                   its kind number, a TAB and its text
#include "MSComm.h"
#include "PortMap.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const QString device = args[2];

    if (args[1] == "hold") {
        // By the device's own name, as a program given /dev/ttyACM0 would.
        QSerialPort port(QFileInfo(device).canonicalFilePath());
        if (!port.open(QIODevice::ReadWrite)) {
            std::printf("failed\t%s\n", qPrintable(port.errorString()));
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        return 0;
    }

    if (args[1] == "open") {
        QTemporaryDir settings;
        QFile map(settings.path() + "/ports.conf");
        if (!map.open(QIODevice::WriteOnly))
            return 2;
        map.write(("COM5=" + device + "\n").toUtf8());
        map.close();
        MSComm comm{PortMap(settings.path())};
        comm.setCommPort(5);
        try {
            comm.setPortOpen(true);
        } catch (const CommError &) {
        }
        const OpenFailure failure = comm.lastOpenFailure();
        std::printf("%d\t%s\n", static_cast<int>(failure.kind), qPrintable(failure.text));
        return 0;
    }
    return 2;
}
