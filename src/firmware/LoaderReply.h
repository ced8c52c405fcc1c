#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The loader's text since the last clear, scanned as it arrives. Each byte is
// looked at once: the markers of the exchange (":!!", ":OK :", ":LST:01" and
// the current file's end marker) are searched in the new bytes plus the few
// bytes before them that could start a marker, and the first place of each
// is remembered. Searches ignore letter case.
//
// The text itself is kept for the log and the boxes, but only its first and
// its latest kKeptBytes: a loader that talks on and on cannot fill memory.
class LoaderReply {
public:
    static constexpr qsizetype kKeptBytes = 32 * 1024;

    void clear();
    void append(QByteArrayView bytes);
    // The end marker of the file being sent. Set before the text it is to be
    // found in arrives; text already kept is searched as well.
    void setEndMarker(QByteArrayView marker);

    bool isEmpty() const { return m_size == 0; }
    qint64 size() const { return m_size; }
    // Text ending in "." means the loader is still busy.
    bool endsWithDot() const { return m_last == '.'; }
    // ":!!" anywhere: the loader rejected the packet.
    bool hasRejection() const { return m_rejection >= 0; }
    // Where the first ":OK :" starts, -1 when none came yet.
    qint64 okAt() const { return m_ok; }
    // ":LST:01" counts only as its first occurrence and not at the first character.
    bool hasPrompt() const { return m_prompt >= 1; }
    // The end marker lies in the text before the first ":OK :" (that colon included).
    bool endMarkerBeforeOk() const;

    // The text as received; when more came than is kept, a line in the
    // middle says how many bytes are left out.
    QByteArray text() const;
    // Bytes the marker search has looked at since the last clear (each new
    // byte once, plus a marker's length less one per append).
    qint64 scannedBytes() const { return m_scanned; }

private:
    void scan(QByteArrayView window, qint64 windowStart);
    void keep(QByteArrayView bytes);
    qsizetype longestMarker() const;

    QByteArray m_endMarker;
    QByteArray m_head;  // the first kKeptBytes
    QByteArray m_tail;  // the latest bytes after the head, at most 2 * kKeptBytes
    QByteArray m_carry; // the last bytes, as many as could start a marker
    qint64 m_size = 0;
    qint64 m_scanned = 0;
    char m_last = '\0';
    qint64 m_rejection = -1;
    qint64 m_ok = -1;
    qint64 m_prompt = -1;
    qint64 m_end = -1;
};
