#pragma once

#include "SerialComm.h"

#include <QString>
#include <optional>

// The line settings of the serial port and their "9600,N,8,1" text: baud,
// parity letter, data bits, stop bits. Plain data, no port involved.
class SerialSettings {
public:
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    qint32 baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    // Reads "baud,parity,data,stop". Blanks around a field are allowed and the
    // parity letter may be lower case. Empty when the text is malformed or a
    // value is out of range (baud must be positive, data bits 5 to 8, stop bits
    // 1, 1.5 or 2; 1.5 stop bits exist only with 5 data bits, as on a UART).
    // Linear in the text, and no copy of it is made.
    static std::optional<SerialSettings> parse(const QString &text);
    // Like parse, but a malformed text throws CommError 380, whose
    // description quotes the text (its first 200 characters when longer).
    static SerialSettings parseOrThrow(const QString &text);

    // "9600,N,8,1"; the parity letter upper case, 1.5 stop bits as "1.5".
    QString format() const;

    bool operator==(const SerialSettings &) const = default;
};
