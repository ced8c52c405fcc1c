#pragma once

#include <QString>

// Folders that hold lab data or an office's profile are the user's alone
// (0700), and so are the files of the runs (0600).
class PrivateFolder {
public:
    enum class Files { Leave, Tighten };

    // Makes `folder` and any missing parent, each 0700, and sets `folder`
    // itself to 0700 when it was there already. False, logged, when it
    // cannot be made.
    static bool make(const QString &folder);
    // Sets an existing `folder` to 0700 and, with Files::Tighten, each plain
    // file directly in it to 0600 (links are left alone). Made with the
    // umask's rights by an older version, or by hand.
    static void tighten(const QString &folder, Files files);
};
