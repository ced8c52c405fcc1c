#include "PortMap.h"
#include "SerialSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Parity = SerialSettings::Parity;
using StopBits = SerialSettings::StopBits;

TEST(SerialSettings, StoredConfigurationIs9600N81) { EXPECT_EQ(SerialSettings().format(), "9600,N,8,1"); }

TEST(SerialSettings, ParsesEveryParityDataAndStopBitForm)
{
    struct Case {
        const char *text;
        qint32 baud;
        Parity parity;
        int dataBits;
        StopBits stop;
        const char *formatted;
    };
    const Case cases[] = {
        {"9600,N,8,1", 9600, Parity::None, 8, StopBits::One, "9600,N,8,1"},
        {"56000,n,8,1", 56000, Parity::None, 8, StopBits::One, "56000,N,8,1"},
        {" 19200 , e , 7 , 2 ", 19200, Parity::Even, 7, StopBits::Two, "19200,E,7,2"},
        {"1200,O,6,1", 1200, Parity::Odd, 6, StopBits::One, "1200,O,6,1"},
        {"300,M,5,1.5", 300, Parity::Mark, 5, StopBits::OneAndHalf, "300,M,5,1.5"},
        {"110,s,5,2", 110, Parity::Space, 5, StopBits::Two, "110,S,5,2"},
        {"2147483647,N,8,1", 2147483647, Parity::None, 8, StopBits::One, "2147483647,N,8,1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const auto s = SerialSettings::parse(c.text);
        ASSERT_TRUE(s.has_value());
        EXPECT_EQ(s->baud, c.baud);
        EXPECT_EQ(s->parity, c.parity);
        EXPECT_EQ(s->dataBits, c.dataBits);
        EXPECT_EQ(s->stopBits, c.stop);
        EXPECT_EQ(s->format(), c.formatted);
        EXPECT_EQ(SerialSettings::parse(s->format()), s);
    }
}

TEST(SerialSettings, RefusesMalformedText)
{
    const char *bad[] = {
        "",
        "9600",
        "9600,N,8",
        "9600,N,8,1,",
        "9600,N,8,1,0",
        ",N,8,1",
        "0,N,8,1",
        "-9600,N,8,1",
        "+9600,N,8,1",
        "96a0,N,8,1",
        "9600.5,N,8,1",
        "2147483648,N,8,1",
        "9600,X,8,1",
        "9600,,8,1",
        "9600,NE,8,1",
        "9600,N,4,1",
        "9600,N,9,1",
        "9600,N,08,1",
        "9600,N,,1",
        "9600,N,8,0",
        "9600,N,8,3",
        "9600,N,8,1.0",
        "9600,N,8,",
        "9600,N,8,1.5", // 1.5 stop bits only with 5 data bits
        "9600;N;8;1",
    };
    for (const char *text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(SerialSettings::parse(text).has_value());
        try {
            SerialSettings::parseOrThrow(text);
            ADD_FAILURE() << "accepted";
        } catch (const CommError &e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_TRUE(e.description().contains(QString::fromLatin1(text)));
        }
    }
}

TEST(SerialSettings, LongTextsAreReadWithoutSplittingThemUp)
{
    // Ten megabytes of one-letter fields, and the same behind a valid text.
    QString fields;
    fields.reserve(10 << 20);
    while (fields.size() < (10 << 20))
        fields += QStringLiteral("a,");
    for (const QString &text : {fields, "9600,N,8,1," + fields}) {
        EXPECT_FALSE(SerialSettings::parse(text).has_value());
        try {
            SerialSettings::parseOrThrow(text);
            ADD_FAILURE() << "accepted";
        } catch (const CommError &e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_TRUE(e.description().contains("\"" + text.first(200) + "...\""));
            EXPECT_LT(e.description().size(), 400);
        }
    }
    // Blanks around a field may be as long as they like.
    const QString blanks(1 << 20, u' ');
    EXPECT_EQ(SerialSettings::parse(blanks + "19200" + blanks + ",e,7," + blanks + "2" + blanks),
              SerialSettings::parse("19200,E,7,2"));
    // Only one letter counts as a parity, in any case the text's case mapping knows.
    EXPECT_FALSE(SerialSettings::parse("9600,NN,8,1").has_value());
    EXPECT_EQ(SerialSettings::parse("9600," + QString(QChar(0x017f)) + ",5,1.5")->parity, Parity::Space);
}

class PortMapTest : public ::testing::Test {
protected:
    void writeConf(const QByteArray &text)
    {
        QFile f(QDir(dir.path()).filePath("ports.conf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QTemporaryDir dir;
};

TEST_F(PortMapTest, DefaultsToTtySDevicesWithoutAFile)
{
    const PortMap map(dir.path());
    EXPECT_EQ(map.devicePath(1), "/dev/ttyS0");
    EXPECT_EQ(map.devicePath(5), "/dev/ttyS4");
    EXPECT_EQ(map.devicePath(16), "/dev/ttyS15");
    EXPECT_TRUE(map.overrides().isEmpty());
}

TEST_F(PortMapTest, RefusesNumbersOutside1To16)
{
    const PortMap map(dir.path());
    for (int port : {0, 17, -1, 32767}) {
        SCOPED_TRACE(port);
        try {
            map.devicePath(static_cast<std::int16_t>(port));
            ADD_FAILURE() << "accepted";
        } catch (const CommError &e) {
            EXPECT_EQ(e.number(), 8002);
            EXPECT_TRUE(e.description().contains(QStringLiteral("COM%1").arg(port)));
        }
    }
}

TEST_F(PortMapTest, FileOverridesSomeNumbersAndIgnoresMalformedLines)
{
    writeConf("# adapters on this bench\n"
              "\n"
              "COM5=/dev/ttyUSB0\n"
              "  COM4 = /dev/ttyUSB1  \r\n"
              "com7=/dev/ttyACM0\n"
              "COM2\n"
              "COM=/dev/x\n"
              "COM0=/dev/zero-port\n"
              "COM17=/dev/too-high\n"
              "COMx=/dev/y\n"
              "COM3=relative/path\n"
              "COM8=\n"
              "  # COM9=/dev/commented\n"
              "PORT10=/dev/other\n"
              "COM5=/dev/ttyUSB9\n");
    const PortMap map(dir.path());
    EXPECT_EQ(map.devicePath(5), "/dev/ttyUSB9"); // the later line wins
    EXPECT_EQ(map.devicePath(4), "/dev/ttyUSB1");
    EXPECT_EQ(map.devicePath(7), "/dev/ttyACM0");
    for (int port : {1, 2, 3, 6, 8, 9, 10, 16})
        EXPECT_EQ(map.devicePath(port), PortMap::defaultPath(port)) << port;
    EXPECT_EQ(map.overrides().size(), 3);
}

TEST_F(PortMapTest, ACarriageReturnCountsAsABlankOnlyAtTheEndsOfALine)
{
    // The same lines at the start of the file and behind 20,000 bytes of comment.
    const QByteArray lines = "COM1=/dev/a\rb\r\n\rCOM3=/dev/x\r\n";
    for (const QByteArray &text : {lines, "#" + QByteArray(20000, '-') + "\n" + lines}) {
        writeConf(text);
        const QHash<int, QString> map = PortMap(dir.path()).overrides();
        EXPECT_EQ(map.value(1), "/dev/a\rb");
        EXPECT_EQ(map.value(3), "/dev/x");
        EXPECT_EQ(map.size(), 2);
    }
}

TEST_F(PortMapTest, ReadsTheFileAfreshOnEveryLookUp)
{
    const PortMap map(dir.path());
    EXPECT_EQ(map.devicePath(3), "/dev/ttyS2");
    writeConf("COM3=/dev/ttyUSB3\n");
    EXPECT_EQ(map.devicePath(3), "/dev/ttyUSB3");
    QFile::remove(map.fileName());
    EXPECT_EQ(map.devicePath(3), "/dev/ttyS2");
}
