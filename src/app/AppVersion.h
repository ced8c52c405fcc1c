#pragma once

#include <QString>

// The program's version: major.minor.revision, each a plain decimal number.
struct AppVersion {
    static constexpr int kMajor = 1;
    static constexpr int kMinor = 2;
    static constexpr int kRevision = 0;

    static QString text(int major = kMajor, int minor = kMinor, int revision = kRevision)
    {
        return QString::number(major) + '.' + QString::number(minor) + '.'
            + QString::number(revision);
    }
};
