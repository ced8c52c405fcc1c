#pragma once

#include "DeviceSource.h"

#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

// The COM numbers Halvern gives USB serial adapters by itself. An adapter
// seen for the first time gets the lowest free number from 5 to 16 and keeps
// it, plugged in or not, in any socket: the numbers are remembered per
// adapter (its stable by-id name, else vendor, product and serial number) in
// "adapters.conf" in the settings folder. Halvern owns that file; the user's
// own "ports.conf" beside it is never written and wins over it.
//
// A remembered-adapters file that cannot be read or holds anything Halvern
// does not write is ignored whole and left as it is: no adapter is numbered
// then. When the file cannot be written, adapters already in it keep their
// numbers and new ones get none (a number that would not be kept is worse
// than none).
class AdapterRegistry {
public:
    static constexpr int firstPort = 5;
    static constexpr int lastPort = 16;

    // One numbered adapter.
    struct Entry {
        int port = 0;
        QString identity;    // the best of SerialDevice::identities() when first seen
        QString path;        // the name to open: where it is, or was last seen
        QString description; // as last seen
        QString serialNumber;
        bool present = false; // plugged in now
    };
    enum class FileState { Fine, Corrupt, Unwritable };
    // What one look found.
    struct Snapshot {
        QList<Entry> adapters;          // numbered adapters, by COM number
        QList<SerialDevice> unnumbered; // present, without a number
        FileState fileState = FileState::Fine;
        const Entry *at(int port) const;
    };

    AdapterRegistry(QString folder, std::shared_ptr<const DeviceSource> source);

    QString fileName() const;
    const DeviceSource &source() const { return *m_source; }

    // Looks at the adapters present now, numbers the new ones and writes the
    // file when anything changed. `portsConf` is what ports.conf maps: its
    // numbers are not handed out, and an adapter it already leads to gets none.
    Snapshot refresh(const QHash<int, QString> &portsConf = {}) const;

private:
    std::optional<QList<Entry>> read() const; // empty when corrupt
    bool write(const QList<Entry> &entries) const;

    QString m_folder;
    std::shared_ptr<const DeviceSource> m_source;
};
