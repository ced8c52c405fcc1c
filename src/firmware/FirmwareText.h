#pragma once

#include <QByteArray>
#include <QByteArrayView>

class MessageBoxes;

// The text rules of the firmware files and of the loader's replies. Bytes are
// characters throughout: nothing is decoded.
class FirmwareText {
public:
    // What an item of a firmware file is, once its leading blanks are gone.
    enum class ItemKind { Empty, Record, Comment, Packet, Unrecognized };

    // Most numbers one packet may hold.
    static constexpr int kMaxPacketBytes = 300;

    // Removes spaces and TABs from the start of the text.
    static QByteArray stripLeadingBlanks(QByteArrayView text);

    // Kind of an item whose leading blanks have been stripped: "" empty,
    // ":" record, ";" comment, "send" (any case) packet, anything else
    // unrecognized.
    static ItemKind kindOf(QByteArrayView item);

    // Turns a list of decimal numbers separated by spaces or TABs into bytes
    // (the low 8 bits of each rounded value). Reading stops at the first token
    // that does not start with a digit. More than 300 numbers, or a number
    // beyond the 32-bit range, shows the failure box and gives an empty list.
    static QByteArray byteArrayOf(QByteArrayView text, MessageBoxes &boxes);

    // Searches that ignore letter case (ASCII), as every search of the loader
    // exchange does. indexOf gives -1 when absent.
    static qsizetype indexOf(QByteArrayView text, QByteArrayView what, qsizetype from = 0);
    static bool contains(QByteArrayView text, QByteArrayView what) { return indexOf(text, what) >= 0; }
    static bool startsWith(QByteArrayView text, QByteArrayView what);

    // The way a step marker is shown after "iWasOK =": one space, then the number.
    static QString marker(int step);
};
