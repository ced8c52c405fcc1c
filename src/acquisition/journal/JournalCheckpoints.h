#pragma once

#include "RunFiles.h"

#include <QString>
#include <atomic>
#include <optional>

// The checkpoints a journal's ".times" holds, checked against the files in
// one pass over each: at every checkpoint the raw file's bytes up to its
// offset, and the times file's up to the checkpoint's own line, must hash as
// noted. A checkpoint past a file's end means the file was cut short.
class JournalCheckpoints {
public:
    struct Outcome {
        int count = 0;   // checkpoints found
        int matched = 0; // of them, those that hash as noted, in order from the first
        std::optional<RunFiles::Checkpoint> lastMatched;
        QString fault;         // the first checkpoint that does not match, and how; empty when none
        bool cutShort = false; // the fault is a file shorter than a checkpoint names
        bool readable = true;  // false: a file could not be read (fault says why)
    };

    static Outcome check(const QString &rawPath, const std::atomic<bool> *cancel = nullptr);
    // True when the ".times" of `rawPath` holds a checkpoint line: a Halvern
    // that keeps a manifest wrote the journal. Reads only until the first.
    static bool any(const QString &rawPath);
};
