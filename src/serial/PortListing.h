#pragma once

#include "AdapterRegistry.h"
#include "PortMap.h"

#include <QList>
#include <QString>

// The COM numbers as they stand now: where each leads, what adapter is
// there, where the mapping comes from and whether this user may open it.
// Shown by the COM port dialog's tooltips and by "halvern --list-ports".
class PortListing {
public:
    enum class Access {
        Yes,
        Absent,     // nothing at the path
        Permission, // this user may not open it
        InUse,      // a lock file of another program names it
    };

    struct Entry {
        int port = 0;
        QString path;
        PortMap::Source source = PortMap::Source::BuiltIn;
        bool present = false; // a device is at the path now
        QString description;  // the adapter's, when known
        QString serialNumber;
        Access access = Access::Absent;
        QString accessText; // what stands in the way and what to do; empty for Yes
    };

    // Every COM number 1 to 16 from one look at the adapters (which numbers
    // new ones). `checkAccess` false leaves access at Yes or Absent only.
    // `seen` receives what the look at the adapters found.
    static QList<Entry> entries(const PortMap &map, bool checkAccess = true, AdapterRegistry::Snapshot *seen = nullptr);
    // The numbers worth listing: COM 1 to 4, those ports.conf or a remembered
    // adapter sets, and those whose built-in device exists.
    static QList<Entry> listed(const QList<Entry> &all);

    // The --list-ports text: a header line, then one line a listed number
    // with COM number, device, description, serial number, mapping and
    // whether this user may open it; then the reasons for each "no".
    static QString table(const QList<Entry> &listed);
    // Remarks about the adapters look `snap` (a damaged adapters.conf, an
    // adapter left without a number), one a line; empty when all is well.
    static QString remarks(const PortMap &map, const AdapterRegistry::Snapshot &snap);

    static QString sourceName(PortMap::Source source); // "built-in", "remembered", "ports.conf"
    static QString accessName(Access access);          // "yes", "no: absent", ...
};
