#include "MasterWorkbook.h"

#include "PlainFile.h"

#include <QFile>
#include <QFileInfo>

const QString &MasterWorkbook::fileName()
{
    static const QString name = QStringLiteral("spreadsheet.xls");
    return name;
}

bool MasterWorkbook::copyTo(const QString &programFolder, const QString &target)
{
    // Never onto, or from, anything but a plain file.
    const QString master = programFolder + '/' + fileName();
    if (PlainFile::check(master) || QFileInfo(target).isSymLink() || !QFile::copy(master, target))
        return false;
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
    return true;
}
