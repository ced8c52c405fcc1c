#include "ManifestText.h"

#include <QList>

namespace {
const QByteArray kHeader = QByteArrayLiteral("halvern run manifest ");

bool needsEscape(char32_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == '\\'; }
} // namespace

const QByteArray ManifestText::kEntryMark = QByteArrayLiteral("@entry ");

QByteArray ManifestText::header(int version) { return kHeader + QByteArray::number(version) + '\n'; }

int ManifestText::headerVersion(const QByteArray &line)
{
    if (!line.startsWith(kHeader))
        return 0;
    const QByteArray number = line.mid(kHeader.size());
    bool ok = false;
    const int version = number.toInt(&ok);
    // Only the digits themselves: no sign, no spaces.
    return ok && version > 0 && QByteArray::number(version) == number ? version : 0;
}

QByteArray ManifestText::escape(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const char32_t c : value.toUcs4()) {
        if (c == '\\')
            out += QStringLiteral("\\\\");
        else if (needsEscape(c))
            out += QStringLiteral("\\u{%1}").arg(static_cast<uint>(c), 0, 16);
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out.toUtf8();
}

QString ManifestText::unescape(const QByteArray &text, bool *ok)
{
    *ok = false;
    const QString in = QString::fromUtf8(text);
    // Bytes that are not UTF-8 come back as U+FFFD: not what was written.
    if (in.toUtf8() != text)
        return QString();
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in.at(i);
        if (c != '\\') {
            if (needsEscape(c.unicode()))
                return QString();
            out += c;
            continue;
        }
        if (in.mid(i + 1, 1) == QStringLiteral("\\")) {
            out += '\\';
            ++i;
            continue;
        }
        if (in.mid(i + 1, 2) != QStringLiteral("u{"))
            return QString();
        const qsizetype close = in.indexOf('}', i + 3);
        if (close < 0 || close - (i + 3) > 6)
            return QString();
        bool hex = false;
        const uint code = in.mid(i + 3, close - (i + 3)).toUInt(&hex, 16);
        const char32_t point = code;
        if (!hex || !needsEscape(point) || point == '\\')
            return QString();
        out += QString::fromUcs4(&point, 1);
        i = close;
    }
    *ok = true;
    return out.isNull() ? QString(QLatin1String("")) : out;
}

bool ManifestText::isName(const QString &name)
{
    if (name.isEmpty() || name.size() > 64)
        return false;
    for (const QChar c : name) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!word)
            return false;
    }
    return true;
}
