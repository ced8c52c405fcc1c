#pragma once

#include "OpenFailure.h"

#include <QList>
#include <QString>
#include <optional>

// Why a serial device cannot be opened, found without opening it (opening a
// real port toggles its control lines): the file permissions, lock files of
// other serial programs, and other processes that have it open.
class PortAccess {
public:
    struct Holder {
        qint64 pid = 0;
        QString name; // the program's name, e.g. "ModemManager"
    };

    // Whether this process's user and groups may read and write the device.
    static bool permitted(const QString &path);
    // The live process named in a lock file for the device ("LCK..<name>" in
    // /run/lock and the other usual lock folders), other than this one.
    static std::optional<Holder> lockOwner(const QString &path);
    // The processes with the device open, found through /proc/<pid>/fd where
    // this user may look; this process is left out.
    static QList<Holder> holders(const QString &path);

    // What stands in the way, after an open of `path` for `port` (the text
    // "COM5") failed with permission or busy. Kind Permission or InUse.
    static OpenFailure explainRefusal(const QString &port, const QString &path);
    // Nothing at `path`.
    static OpenFailure missing(const QString &port, const QString &path);
    // The advice for a device this user may not open: which group to join,
    // or that the device's own permissions let no one in.
    static QString permissionAdvice(const QString &path);
    // "ModemManager (process 812)", several joined with "and".
    static QString holderText(const QList<Holder> &holders);
};
