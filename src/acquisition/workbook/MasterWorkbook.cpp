#include "MasterWorkbook.h"

#include <QFile>

const QString &MasterWorkbook::fileName()
{
    static const QString name = QStringLiteral("spreadsheet.xls");
    return name;
}

bool MasterWorkbook::copyTo(const QString &programFolder, const QString &target)
{
    if (!QFile::copy(programFolder + '/' + fileName(), target))
        return false;
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
    return true;
}
