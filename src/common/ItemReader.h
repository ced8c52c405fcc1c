#pragma once

#include <QByteArray>
#include <QIODevice>

// Reads comma-delimited items from a text file, the way the instrument's own
// files and KeyChain.txt are written:
//  - an item ends at a comma or at the end of a line (CR LF, CR or LF);
//  - blanks (spaces, TABs) around an unquoted item are dropped;
//  - an item in double quotes may hold commas and loses its quotes; whatever
//    follows the closing quote up to the next comma or line end is dropped.
// Bytes are characters: no decoding happens here.
class ItemReader {
public:
    // Items longer than this are cut; the rest of the item is still consumed.
    static constexpr qsizetype kMaxItemLength = 1 << 20;

    explicit ItemReader(QIODevice *device);

    // True when no further item can be read.
    bool atEnd();
    // Reads the next item. At the end of the input returns an empty item and
    // sets pastEnd().
    QByteArray next();
    bool pastEnd() const { return m_pastEnd; }
    // Bytes consumed from the device so far.
    qint64 position() const { return m_position; }
    // True when the device reported a read error.
    bool readError() const { return m_readError; }

private:
    int peek();
    int take();
    void skipLineEnd(int c);

    QIODevice *m_device;
    qint64 m_position = 0;
    bool m_pastEnd = false;
    bool m_readError = false;
    static constexpr qsizetype kReadSize = 64 * 1024;
    QByteArray m_buffer;
    qsizetype m_bufferPos = 0;
    qsizetype m_bufferEnd = 0;
};
