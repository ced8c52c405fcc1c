#pragma once

#include <QByteArray>
#include <QString>

// The line format of a run manifest, shared by its reader and its writer:
//   halvern run manifest <version>
//   @entry <kind> <SHA-256 of every byte before this line>
//   <key>=<value>
//   ...
// Keys and kinds are lower-case words (a-z, 0-9, '.', '-'); a value is kept
// on its line by escaping: '\\' becomes "\\\\", and every character that
// could end or hide a line (C0 and C1 controls, DEL, U+2028, U+2029) becomes
// "\\u{hex}". A value therefore never adds a line nor takes one away.
class ManifestText {
public:
    static constexpr int kVersion = 1;

    static QByteArray header(int version = kVersion);
    // The version a header line names; 0 when it is none.
    static int headerVersion(const QByteArray &line);

    static QByteArray escape(const QString &value);
    // The value of an escaped text; nothing (a null string) when an escape is
    // malformed.
    static QString unescape(const QByteArray &text, bool *ok);

    // True for a name that may be a key or a kind.
    static bool isName(const QString &name);

    static const QByteArray kEntryMark; // "@entry "
};
