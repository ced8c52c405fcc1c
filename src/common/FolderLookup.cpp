#include "FolderLookup.h"

#include "FolderName.h"
#include "MessageBoxes.h"

#include <QDir>
#include <QStandardPaths>

namespace {
// Result codes as the shell lookup reports them.
constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFolderMissing = 1;
constexpr std::int32_t kInvalidArgument = -2147024809; // 0x80070057

std::int32_t lookUp(std::int32_t csidl, QString *out)
{
    switch (csidl) {
    case CSIDL_PERSONAL: {
        // A fresh account may have no Documents folder yet: use the home folder.
        QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (docs.isEmpty() || !QDir(docs).exists())
            docs = QDir::homePath();
        *out = docs;
        return kOk;
    }
    case CSIDL_COMMON_APPDATA: {
        QString first = qEnvironmentVariable("XDG_DATA_DIRS").split(':', Qt::SkipEmptyParts).value(0);
        if (first.isEmpty())
            first = QStringLiteral("/usr/local/share");
        if (!QDir(first).exists())
            return kFolderMissing;
        *out = first;
        return kOk;
    }
    default:
        return kInvalidArgument;
    }
}

QString lookUpByName(std::int32_t csidl)
{
    QString found;
    return lookUp(csidl, &found) == kOk ? FolderName::withoutTrailingSlash(found) : QString();
}
} // namespace

QString SpecialFolder::documents() { return lookUpByName(CSIDL_PERSONAL); }
QString SpecialFolder::sharedData() { return lookUpByName(CSIDL_COMMON_APPDATA); }

bool GetFolderPath(const std::int32_t &csidl, QString &path, MessageBoxes &boxes)
{
    QString found;
    const std::int32_t result = lookUp(csidl, &found);
    if (result == kOk) {
        path = FolderName::withoutTrailingSlash(found);
        return true;
    }
    if (result == kFolderMissing)
        return false;
    boxes.show("Error code: " + QString::number(result) + " returned for CSIDL value: " + QString::number(csidl),
               "Failure in modShell:GetFolderPath");
    return false;
}
