#include "DocumentsFolder.h"

#include "CaughtException.h"
#include "FolderLookup.h"
#include "FolderName.h"
#include "LogCategories.h"

QString DocumentsFolder::find(const std::function<bool(QString &)> &lookup)
{
    QString documents;
    try {
        if (lookup) {
            if (!lookup(documents))
                documents.clear();
        } else {
            documents = SpecialFolder::documents();
        }
    } catch (...) {
        qCWarning(lcWorkbook).noquote() << "The documents folder is not known:" << CaughtException::reason();
        documents.clear();
    }
    return FolderName::withoutTrailingSlash(documents);
}
