#pragma once

#include <QString>

// A folder's path as the program keeps it.
class FolderName {
public:
    // `folder` without the "/" at its end ("/" itself stays).
    static QString withoutTrailingSlash(QString folder);
};
