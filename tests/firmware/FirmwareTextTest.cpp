#include "FirmwareText.h"
#include "RecordingMessageBoxes.h"

#include <gtest/gtest.h>

namespace {
QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

QByteArray numbers(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += QByteArray::number(i % 256) + ' ';
    return text;
}
} // namespace

TEST(ByteArrayOf, KeepsTheLowEightBitsOfEachNumber)
{
    RecordingMessageBoxes boxes;
    EXPECT_EQ(FirmwareText::byteArrayOf(" 255 256 300", boxes), bytes({255, 0, 44}));
    // Fractions round half to even before the low bits are taken.
    EXPECT_EQ(FirmwareText::byteArrayOf("2.5 3.5 1E2", boxes), bytes({2, 4, 100}));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST(ByteArrayOf, StopsAtTheFirstTokenThatIsNotANumber)
{
    RecordingMessageBoxes boxes;
    EXPECT_EQ(FirmwareText::byteArrayOf("1 2 x 4", boxes), bytes({1, 2}));
    EXPECT_EQ(FirmwareText::byteArrayOf("-1 2", boxes), QByteArray());
    EXPECT_EQ(FirmwareText::byteArrayOf("", boxes), QByteArray());
    EXPECT_EQ(FirmwareText::byteArrayOf("   ", boxes), QByteArray());
    // A token that starts with a digit reads as far as it is a number.
    EXPECT_EQ(FirmwareText::byteArrayOf("7abc 8", boxes), bytes({7, 8}));
}

TEST(ByteArrayOf, ASpaceEndsATokenBeforeAnEarlierTab)
{
    RecordingMessageBoxes boxes;
    // "1<TAB>2" is one token up to the space; the TAB inside is skipped.
    EXPECT_EQ(FirmwareText::byteArrayOf("1\t2 3", boxes), bytes({12, 3}));
    // Without any space the TABs separate.
    EXPECT_EQ(FirmwareText::byteArrayOf("1\t2\t3", boxes), bytes({1, 2, 3}));
}

TEST(ByteArrayOf, ThreeHundredNumbersFitTheThreeHundredAndFirstFails)
{
    RecordingMessageBoxes boxes;
    EXPECT_EQ(FirmwareText::byteArrayOf(numbers(300), boxes).size(), 300);
    EXPECT_TRUE(boxes.boxes.isEmpty());

    EXPECT_EQ(FirmwareText::byteArrayOf(numbers(301), boxes), QByteArray());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "iWasOK = 70");
    EXPECT_EQ(boxes.boxes[0].title, "Program Error in frmDownload:ByteArrayOf");
}

TEST(ByteArrayOf, NumbersBeyondAnyRangeFailInsteadOfWrapping)
{
    RecordingMessageBoxes boxes;
    EXPECT_EQ(FirmwareText::byteArrayOf("1 1e400", boxes), QByteArray());
    EXPECT_EQ(FirmwareText::byteArrayOf("99999999999999999999", boxes), QByteArray());
    EXPECT_EQ(boxes.boxes.size(), 2);
    // The largest 32-bit value still gives its low byte.
    EXPECT_EQ(FirmwareText::byteArrayOf("2147483647", boxes), bytes({255}));
}

TEST(ByteArrayOf, AMegabyteLineIsReadOnce)
{
    RecordingMessageBoxes boxes;
    // One long token of digits: a huge number, refused like any out of range.
    const QByteArray digits(1 << 20, '7');
    EXPECT_EQ(FirmwareText::byteArrayOf(digits, boxes), QByteArray());
    // 300 numbers and a megabyte of blanks after them.
    EXPECT_EQ(FirmwareText::byteArrayOf(numbers(300) + QByteArray(1 << 20, '\t'), boxes).size(), 300);
}

TEST(FirmwareItems, KindsAfterLeadingBlanks)
{
    using Kind = FirmwareText::ItemKind;
    const auto kind = [](const char *raw) {
        return FirmwareText::kindOf(FirmwareText::stripLeadingBlanks(QByteArray(raw)));
    };
    EXPECT_EQ(kind(""), Kind::Empty);
    EXPECT_EQ(kind(" \t "), Kind::Empty);
    EXPECT_EQ(kind(":1000000"), Kind::Record);
    EXPECT_EQ(kind("\t; a comment"), Kind::Comment);
    EXPECT_EQ(kind("send 1 2"), Kind::Packet);
    EXPECT_EQ(kind("  SEND 1 2"), Kind::Packet);
    EXPECT_EQ(kind("SeNd"), Kind::Packet);
    EXPECT_EQ(kind("sen 1"), Kind::Unrecognized);
    EXPECT_EQ(kind("x send 1"), Kind::Unrecognized);

    EXPECT_EQ(FirmwareText::stripLeadingBlanks(" \t x \t"), QByteArray("x \t"));
}

TEST(FirmwareItems, SearchesIgnoreLetterCase)
{
    EXPECT_EQ(FirmwareText::indexOf("abc:ok :", ":OK :"), 3);
    EXPECT_EQ(FirmwareText::indexOf("Term", "TERM"), 0);
    EXPECT_EQ(FirmwareText::indexOf("TER", "TERM"), -1);
    EXPECT_TRUE(FirmwareText::startsWith("SEND", "send"));
    EXPECT_FALSE(FirmwareText::startsWith("sen", "send"));
    EXPECT_EQ(FirmwareText::marker(55), " 55");
}
