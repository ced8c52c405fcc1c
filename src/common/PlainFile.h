#pragma once

#include "Failure.h"
#include "Result.h"

#include <QString>
#include <memory>
#include <optional>
#include <sys/types.h>

class QFile;

// The one door to a file Halvern reads or writes as a plain file (journal,
// times, summary, manifest, log, settings, and the workbook before the office
// gets its name). Whatever stands in the file's place is looked at before
// anything waits on it: the open never blocks (a FIFO with nobody at the other
// end would hold the program in the kernel for good), never follows a link,
// and whatever is not a plain file is refused with its name and what it is.
// A file Halvern writes must have no other name: a hard link in its place
// would carry the writing (and the rights set on it) into someone else's file.
class PlainFile {
public:
    enum class Mode {
        Read,      // an existing file, read only
        Replace,   // written from the start: made when missing, emptied when there
        Append,    // written at its end: made when missing
        CreateNew, // only a file that is not there yet
    };

    // An open descriptor (close-on-exec, blocking again once checked), the
    // caller's to close.
    static Result<int> openDescriptor(const QString &path, Mode mode, mode_t permissions = 0600);
    // The same, as a QFile that owns the descriptor.
    static Result<std::unique_ptr<QFile>> open(const QString &path, Mode mode, mode_t permissions = 0600);
    // The whole of a file read through the same door.
    static Result<QByteArray> readAll(const QString &path);
    // Whether path names a plain file that can be read, without reading it:
    // for a file another program opens by its name (the office's workbook).
    static std::optional<Failure> check(const QString &path);

    // What the entry of this st_mode is, in words: "a plain file", "a FIFO",
    // "a link", "a folder", "a socket", "a device".
    static QString kindOf(mode_t mode);
};
