// The item reader on a device that hands out 1 to 16 bytes per read (as a
// serial line or a slow disk may) reads the same items, with the same
// positions and end, as on a device that hands out everything at once.
#include "FuzzCheck.h"
#include "ItemReader.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// A sequential device that returns at most the next trickle size per read;
// the sizes come from a small generator seeded by the input.
class TrickleDevice : public QIODevice {
public:
    TrickleDevice(QByteArray data, std::uint32_t seed) : m_data(std::move(data)), m_state(seed | 1) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_data.size() - m_pos + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        m_state = m_state * 1103515245u + 12345u;
        const qint64 n = std::min<qint64>({max, m_data.size() - m_pos, 1 + (m_state >> 16) % 16});
        std::memcpy(out, m_data.constData() + m_pos, n);
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_pos = 0;
    std::uint32_t m_state;
};

struct Item {
    QByteArray text;
    qint64 position;
    bool atEnd;
    bool operator==(const Item &) const = default;
};

QList<Item> readAll(QIODevice &device, bool *readError)
{
    QList<Item> items;
    ItemReader reader(&device);
    while (!reader.atEnd()) {
        const QByteArray item = reader.next();
        items.append({item, reader.position(), reader.atEnd()});
        FUZZ_CHECK(item.size() <= ItemReader::kMaxItemLength);
    }
    const QByteArray last = reader.next();
    FUZZ_CHECK(last.isEmpty() && reader.pastEnd());
    *readError = reader.readError();
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    QBuffer whole;
    whole.setData(text);
    whole.open(QIODevice::ReadOnly);
    bool wholeError = false;
    const QList<Item> expected = readAll(whole, &wholeError);

    for (int unbuffered : {0, 1}) {
        TrickleDevice trickle(text, data[0] * 2654435761u);
        trickle.open(unbuffered ? QIODevice::ReadOnly | QIODevice::Unbuffered : QIODevice::ReadOnly);
        bool trickleError = false;
        const QList<Item> got = readAll(trickle, &trickleError);
        FUZZ_CHECK(got == expected, text);
        FUZZ_CHECK(!trickleError && !wholeError);
    }
    // Every byte is consumed once the items are read.
    FUZZ_CHECK(expected.isEmpty() ? text.isEmpty() : expected.last().position == text.size(), text);
    return 0;
}
