#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The session log "DownloadLog.txt": opened for appending at the start of a
// session, one entry a line ended by CR LF, closed at the end. Texts received
// from the loader are written byte for byte, whatever line breaks they hold.
class SessionLog {
public:
    // Opens (creating when absent, never creating the folder) for appending.
    // False on failure, with errorNumber()/errorString() describing it.
    // `existed` tells whether the file already had content. The log folder is
    // shared: a link in the log's place is never followed, and anything but a
    // regular file is refused with a reason that names what was found.
    bool open(const QString &path, bool *existed = nullptr);
    bool isOpen() const { return m_file.isOpen(); }
    // Writes one entry; false when the write failed. Does nothing when closed.
    bool writeLine(const QByteArray &bytes);
    bool writeLine(const QString &text) { return writeLine(text.toUtf8()); }
    void close();

    int errorNumber() const { return m_refusal.isEmpty() ? static_cast<int>(m_file.error()) : m_refusalNumber; }
    QString errorString() const { return m_refusal.isEmpty() ? m_file.errorString() : m_refusal; }

    // The current local date and time as log lines show it: the short date
    // format, a space, the long time format of the user's regional settings.
    static QString now();

private:
    bool refuse(const QString &why);

    QFile m_file;
    QString m_refusal;
    int m_refusalNumber = 0;
};
