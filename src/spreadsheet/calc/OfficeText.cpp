#include "OfficeText.h"

#include <QRegularExpression>
#include <QUrl>

QString OfficeText::withPaths(const QString &text)
{
    // A URL runs to the first blank, quote or bracket: a space in a path is
    // always encoded in one.
    static const QRegularExpression url(QStringLiteral("file://[^\\s<>\"'()\\[\\]]+"));
    QString out;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = url.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QUrl parsed(m.captured(), QUrl::StrictMode);
        out += text.mid(done, m.capturedStart() - done);
        out += parsed.isValid() && parsed.isLocalFile() ? parsed.toLocalFile() : m.captured();
        done = m.capturedEnd();
    }
    return out + text.mid(done);
}
