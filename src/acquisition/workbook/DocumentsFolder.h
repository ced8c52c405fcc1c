#pragma once

#include <QString>
#include <functional>

// The folder where workbooks go: the user's documents folder, or the one a
// lookup gives, without a trailing "/"; empty when it is not known.
class DocumentsFolder {
public:
    // `lookup` stands in for the documents folder's lookup when set (false:
    // not known).
    static QString find(const std::function<bool(QString &)> &lookup = {});
};
