#pragma once

#include <QString>

// The office's own messages name files by URL (file:///home/u/sp%20ace/x.xls);
// a person is shown the path.
class OfficeText {
public:
    // text with every file:// URL in it written as the local path it stands for.
    static QString withPaths(const QString &text);
};
