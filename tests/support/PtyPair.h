#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A pseudo-terminal pair made by socat: two linked device paths that behave
// like the two ends of a null-modem cable. Stands in for a COM port in tests.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();

    bool start(); // false when socat is missing or the links do not appear
    void stop();  // ends socat: both ends vanish
    QString endA() const { return m_dir.path() + "/ttyA"; }
    QString endB() const { return m_dir.path() + "/ttyB"; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_socat;
};
