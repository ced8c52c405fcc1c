#include "RunOrder.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <tuple>

QStringList RunOrder::runsInStartOrder(const QString &folder)
{
    // "2026-12-07_14-30-00_COM5[-2].raw": the start, then the run within that second.
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)_COM\\d+(?:-(\\d+))?\\.raw$"));
    struct Named {
        QString start;
        int sameSecond;
        QString path;
    };
    QList<Named> named;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({QStringLiteral("*.raw")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (m.hasMatch())
            named.append(
                {m.captured(1), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), dir.absoluteFilePath(name)});
    }
    std::sort(named.begin(), named.end(), [](const Named &a, const Named &b) {
        return std::tie(a.start, a.sameSecond, a.path) < std::tie(b.start, b.sameSecond, b.path);
    });
    QStringList paths;
    for (const Named &n : named)
        paths.append(n.path);
    return paths;
}
