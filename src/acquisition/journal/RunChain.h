#pragma once

#include <QString>
#include <QStringList>

// The chain of manifests over a runs folder, in start order: each run's
// manifest names the run before it and holds the hash of the entries that
// run's manifest had when this one started. A run removed, put in between, or
// a manifest changed after its successor linked it breaks the chain. Runs an
// older Halvern kept hold no link and are passed over.
class RunChain {
public:
    // Every break in `folder`, one line each.
    static QStringList gaps(const QString &folder);
    // Why the run after `rawPath` no longer links its manifest as it is now;
    // empty when it does or there is no such run.
    static QString successorBreak(const QString &rawPath);

private:
    // Why the manifest of `previousRaw` does not begin with the entries the
    // link of `name` covers; empty when it does.
    static QString linkBreak(const QString &name, const QString &previousRaw, qint64 entries, const QString &sha256);
};
