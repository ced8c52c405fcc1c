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
    // `existed` tells whether the file already had content.
    bool open(const QString &path, bool *existed = nullptr);
    bool isOpen() const { return m_file.isOpen(); }
    // Writes one entry; false when the write failed. Does nothing when closed.
    bool writeLine(const QByteArray &bytes);
    bool writeLine(const QString &text) { return writeLine(text.toUtf8()); }
    void close();

    int errorNumber() const { return static_cast<int>(m_file.error()); }
    QString errorString() const { return m_file.errorString(); }

    // The current local date and time as log lines show it: the short date
    // format, a space, the long time format of the user's regional settings.
    static QString now();

private:
    QFile m_file;
};
