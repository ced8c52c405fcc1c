#include "SessionLog.h"

#include <QDateTime>
#include <QLocale>

bool SessionLog::open(const QString &path, bool *existed)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    if (existed)
        *existed = m_file.size() > 0;
    return true;
}

bool SessionLog::writeLine(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return false;
    const bool ok = m_file.write(bytes) == bytes.size() && m_file.write("\r\n", 2) == 2;
    // Each entry reaches the disk at once: the log must tell where a session
    // stopped even when the program is killed in the middle of it.
    return m_file.flush() && ok;
}

void SessionLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

QString SessionLog::now()
{
    const QLocale locale = QLocale::system();
    const QDateTime t = QDateTime::currentDateTime();
    return locale.toString(t.date(), QLocale::ShortFormat) + " " + locale.toString(t.time(), QLocale::LongFormat);
}
