#pragma once

#include "PortMap.h"
#include "SerialComm.h"
#include "SerialSettings.h"

#include <QObject>
#include <QSerialPort>

// The program's serial port over QSerialPort, polled. Received bytes collect
// in QSerialPort's buffer (at most 64 KiB; the rest waits in the kernel)
// while the event loop runs, and input() hands over whatever is there.
//
// A device that vanishes while open (USB adapter pulled, peer gone) makes Qt
// report read errors without end and keep the port "open". The port is closed
// at the first such report; the next access that needs the device throws one
// CommError 8020 saying the device was lost, later ones the ordinary 8018.
//
// Error numbers (all CommError):
//   380  malformed settings text, or an invalid inBufferCount/inputLen/inputMode
//   8000 port number changed while the port is open
//   8002 port number outside 1 to 16
//   8005 port already open, or the device is in use by another program
//   8010 hardware not available: the device does not exist or cannot be opened
//   8015 the device refuses the line settings
//   8018 operation valid only when the port is open
//   8020 the device was lost while open
// After a failed open, lastOpenFailure() tells the user why in plain words:
// which group to join, or which program holds the device.
class MSComm : public QObject, public SerialComm {
    Q_OBJECT
public:
    // What Qt holds between two reads. The run reads once a tick (100 ms), so
    // this is the most a tick takes in: 64 KiB a tick keeps up with any serial
    // line (115200 baud is 11.5 KB a second), with room for ticks that come late.
    static constexpr qint64 kReceiveBufferSize = 64 * 1024;

    // portMap: where COM numbers lead; the program passes PortMap(AppSettings::folder()).
    explicit MSComm(const PortMap &portMap, QObject *parent = nullptr);
    ~MSComm() override;

    std::int16_t commPort() const override { return m_commPort; }
    void setCommPort(std::int16_t port) override;
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    QString settings() const override { return m_settings.format(); }
    void setSettings(const QString &settings) override;
    QByteArray input() override;
    int inBufferCount() override;
    void setInBufferCount(int count) override;
    void output(const QByteArray &bytes) override;
    int inputLen() const override { return m_inputLen; }
    void setInputLen(int len) override;
    int inputMode() const override { return m_inputMode; }
    void setInputMode(int mode) override;
    OpenFailure lastOpenFailure() const override { return m_lastFailure; }
    QString openedDevicePath() const override { return m_device; }

    // The device a COM number leads to now (shown by the COM port dialog).
    // A number outside 1 to 16 throws CommError 8002.
    QString devicePath(std::int16_t port) const { return m_portMap.devicePath(port); }
    const PortMap &portMap() const { return m_portMap; }

    // How many read, write or resource errors Qt has reported since the last
    // open: stays at a handful when a device vanishes (no error flood).
    int deviceErrorReports() const { return m_deviceErrorReports; }

private:
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void markLost(const QString &reason);
    bool hungUp() const;
    void requireOpen();
    bool applyLineSettings(const SerialSettings &s);
    QString portText() const;

    QSerialPort m_port;
    PortMap m_portMap;
    std::int16_t m_commPort = 1;
    SerialSettings m_settings; // 9600,N,8,1
    QString m_device;          // path of the open device, as configured
    int m_inputLen = 0;
    int m_inputMode = 0;

    OpenFailure m_lastFailure;
    bool m_lost = false; // device vanished; not yet reported to the caller
    QString m_lostReason;
    quint64 m_openCount = 0; // tells a deferred close which opening it belongs to
    int m_deviceErrorReports = 0;
};
