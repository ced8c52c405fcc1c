// What killed saves, rebuilds and offices left: each kind on the one list is
// removed once its owner is gone, and kept while it lives, on another host,
// or when it is somebody else's. (Office pipes: see the killed replay of the
// command line's tests.)
#include "FileContents.h"
#include "Leftovers.h"

#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {
QByteArray lockOf(const QString &host, const QString &profile)
{
    return (",user," + host + ",08.12.2026 14:08,file://" + profile + ";").toUtf8();
}

// A process that has ended: its id is free.
qint64 endedProcess()
{
    QProcess p;
    p.start("true");
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}

} // namespace

TEST(Leftovers, WhatKilledSavesRebuildsAndOfficesLeftGoesAndNothingElse)
{
    QTemporaryDir dir;
    const QString dead = QString::number(endedProcess());
    const QString self = QString::number(::getpid());
    const QString host = QSysInfo::machineHostName();
    const QString goneOffice = dir.filePath("data/Halvern/office-99-0123abcd/profile");
    const QString liveOffice = dir.filePath("data/Halvern/office-98-4567cdef/profile");
    QProcess office; // stands for an office still running on its profile
    office.start("sh", {"-c", "sleep 60", "-env:UserInstallation=file://" + liveOffice});
    ASSERT_TRUE(office.waitForStarted());

    const struct {
        QString name;
        QByteArray content;
        bool removed;
    } entries[] = {
        {".~halvern-save-" + dead + "-k3x9.xls", "x", true},
        {".~lock..~halvern-save-" + dead + "-k3x9.xls#", "x", true},
        {"lu8a2b.tmp", "x", true}, // the office's own file of that save
        {".~halvern-save-" + self + "-k3x9.xls", "x", false},
        {".~lock..~halvern-save-" + self + "-k3x9.xls#", "x", false},
        {".halvern-rebuild-" + dead + ".xls", "x", true},
        {".~lock..halvern-rebuild-" + dead + ".xls#", "x", true},
        {".~lock.spreadsheet.xls#", lockOf(host, goneOffice), true},
        {".~lock.other-host.xls#", lockOf(host + "-elsewhere", goneOffice), false},
        {".~lock.running.xls#", lockOf(host, liveOffice), false},
        {".~lock.users-own.xls#", lockOf(host, "/home/u/.config/libreoffice/4"), false},
        {"spreadsheet.xls", "x", false},
    };
    for (const auto &e : entries)
        writeFile(dir.filePath(e.name), e.content);
    QTemporaryDir quiet; // an office temporary file beside no killed save
    writeFile(quiet.filePath("lu8a2b.tmp"), "x");

    const QStringList removed = Leftovers::removeIn(dir.path());
    for (const auto &e : entries)
        EXPECT_EQ(QFile::exists(dir.filePath(e.name)), !e.removed) << e.name.toStdString();
    EXPECT_EQ(removed.size(), 6);
    EXPECT_TRUE(Leftovers::removeIn(quiet.path()).isEmpty());
    office.kill();
    office.waitForFinished();
}
