// The adapter line of a run's summary: found by the path the port was opened
// on, its by-id link or its node; nothing for a port that is no adapter.
#include "PortAdapterText.h"
#include "SerialDevice.h"

#include <gtest/gtest.h>

TEST(PortAdapterText, NamesTheAdapterBehindThePort)
{
    SerialDevice meter;
    meter.path = "/dev/serial/by-id/usb-Acme_Meter_A1-if00-port0";
    meter.systemPath = "/dev/ttyUSB0";
    meter.byIdName = "usb-Acme_Meter_A1-if00-port0";
    meter.manufacturer = "Acme";
    meter.description = "Meter cable";
    meter.serialNumber = "A1";
    meter.vendorId = 0x0403;
    meter.productId = 0x6001;
    const QString described = "by-id usb-Acme_Meter_A1-if00-port0; vendor 0403 Acme; product 6001 Meter cable; "
                              "serial number A1";
    const struct {
        const char *opened;
        QString text;
    } cases[] = {
        {"/dev/serial/by-id/usb-Acme_Meter_A1-if00-port0", described},
        {"/dev/ttyUSB0", described},
        {"/dev/ttyS0", QString()},
        {"", QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PortAdapterText::of(c.opened, {meter}).toStdString(), c.text.toStdString()) << c.opened;
}
