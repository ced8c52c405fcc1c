#include "FolderName.h"

QString FolderName::withoutTrailingSlash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder;
}
