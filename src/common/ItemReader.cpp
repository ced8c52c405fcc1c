#include "ItemReader.h"

namespace {
bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int c) { return c == '\r' || c == '\n'; }
} // namespace

ItemReader::ItemReader(QIODevice *device) : m_device(device) {}

int ItemReader::peek()
{
    if (m_bufferPos >= m_bufferEnd) {
        if (!m_device || m_readError)
            return -1;
        // One buffer for every read: a device that hands out a few bytes at
        // a time costs no allocation per read.
        m_buffer.resize(kReadSize);
        const qint64 got = m_device->read(m_buffer.data(), kReadSize);
        m_bufferPos = 0;
        m_bufferEnd = got > 0 ? got : 0;
        if (m_bufferEnd == 0) {
            if (m_device->isOpen() && !m_device->atEnd())
                m_readError = true;
            return -1;
        }
    }
    return static_cast<unsigned char>(m_buffer.at(m_bufferPos));
}

int ItemReader::take()
{
    const int c = peek();
    if (c >= 0) {
        ++m_bufferPos;
        ++m_position;
    }
    return c;
}

void ItemReader::skipLineEnd(int c)
{
    if (c == '\r' && peek() == '\n')
        take();
}

bool ItemReader::atEnd() { return peek() < 0; }

QByteArray ItemReader::next()
{
    QByteArray item;
    while (isBlank(peek()))
        take();
    if (peek() < 0) {
        m_pastEnd = true;
        return item;
    }

    auto append = [&item](int c) {
        if (item.size() < kMaxItemLength)
            item.append(static_cast<char>(c));
    };
    // Takes the text up to and with the delimiter (a comma or a line end),
    // keeping it in the item or not.
    auto toDelimiter = [&](bool keep) {
        for (int c = take(); c >= 0; c = take()) {
            if (c == ',')
                return;
            if (isLineEnd(c)) {
                skipLineEnd(c);
                return;
            }
            if (keep)
                append(c);
        }
    };

    if (peek() == '"') {
        take();
        for (int c = take(); c >= 0 && c != '"'; c = take())
            append(c);
        toDelimiter(false); // anything after the closing quote is dropped
        return item;
    }

    toDelimiter(true);
    qsizetype end = item.size();
    while (end > 0 && isBlank(static_cast<unsigned char>(item.at(end - 1))))
        --end;
    item.truncate(end);
    return item;
}
