#pragma once

#include <QtGlobal>

// Writes to a file descriptor until all of it is written: a short write is
// continued, an interrupted one tried again.
class DescriptorWrite {
public:
    // False when a write fails; errno tells why (ENOSPC when nothing more
    // could be written).
    static bool all(int fd, const char *data, qsizetype size);
};
