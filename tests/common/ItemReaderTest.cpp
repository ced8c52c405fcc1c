#include "ItemReader.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {
QList<QByteArray> readAll(const QByteArray &text)
{
    QBuffer buf;
    buf.setData(text);
    buf.open(QIODevice::ReadOnly);
    ItemReader reader(&buf);
    QList<QByteArray> items;
    while (!reader.atEnd())
        items.append(reader.next());
    return items;
}
} // namespace

TEST(ItemReader, CommasAndLineEndsSeparateItems)
{
    EXPECT_EQ(readAll("Halvern,Halvern,Quentaro Works\r\nnext\r\n"),
              (QList<QByteArray>{"Halvern", "Halvern", "Quentaro Works", "next"}));
    EXPECT_EQ(readAll("a\nb\rc"), (QList<QByteArray>{"a", "b", "c"}));
}

TEST(ItemReader, BlanksAroundUnquotedItemsAreDropped)
{
    EXPECT_EQ(readAll("  send 1 2 \t ,\t; note  \r\n"), (QList<QByteArray>{"send 1 2", "; note"}));
}

TEST(ItemReader, QuotesProtectCommasAndAreRemoved)
{
    EXPECT_EQ(readAll("\"Halvern, Lab Edition\",x\r\n"), (QList<QByteArray>{"Halvern, Lab Edition", "x"}));
    // Text after the closing quote up to the delimiter is dropped.
    EXPECT_EQ(readAll("\"a\" junk,b\r\n"), (QList<QByteArray>{"a", "b"}));
}

TEST(ItemReader, EmptyLinesAndLeadingCommaGiveEmptyItems)
{
    EXPECT_EQ(readAll(",Halvern\r\n"), (QList<QByteArray>{"", "Halvern"}));
    EXPECT_EQ(readAll("\r\n\r\nx"), (QList<QByteArray>{"", "", "x"}));
}

TEST(ItemReader, EmptyInputIsPastEndAtOnce)
{
    QBuffer buf;
    buf.open(QIODevice::ReadOnly);
    ItemReader reader(&buf);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.next(), QByteArray());
    EXPECT_TRUE(reader.pastEnd());
}

TEST(ItemReader, BytesAreCharactersAndPositionCountsThem)
{
    QByteArray text("\xb5m,\x00z\r\nsend 1\r\n", 15);
    QBuffer buf;
    buf.setData(text);
    buf.open(QIODevice::ReadOnly);
    ItemReader reader(&buf);
    EXPECT_EQ(reader.next(), QByteArray("\xb5m"));
    EXPECT_EQ(reader.position(), 3);
    EXPECT_EQ(reader.next(), QByteArray("\x00z", 2));
    EXPECT_EQ(reader.position(), 7);
    EXPECT_EQ(reader.next(), QByteArray("send 1"));
    EXPECT_EQ(reader.position(), 15);
    EXPECT_TRUE(reader.atEnd());
}

TEST(ItemReader, OverlongItemIsCutButFullyConsumed)
{
    QByteArray text(ItemReader::kMaxItemLength + 100, 'x');
    text += "\r\nnext";
    const auto items = readAll(text);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].size(), ItemReader::kMaxItemLength);
    EXPECT_EQ(items[1], QByteArray("next"));
}
