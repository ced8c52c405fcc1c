#pragma once

// An acquisition run from Start to Stop against test doubles of the main
// window, the serial port and the spreadsheet application.
#include "AcquisitionRun.h"
#include "FakeAcquisitionView.h"
#include "FakeDeviceWatch.h"
#include "FileContents.h"
#include "QStringPrinter.h"
#include "StatusTexts.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "FolderLookup.h"
#include "JournalReader.h"
#include "RunReplay.h"
#include "FakeEmulatorFeed.h"
#include "MacroSettings.h"
#include "RecordingMessageBoxes.h"
#include "WaitUntil.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        documents = SpecialFolder::documents();
        ASSERT_FALSE(documents.isEmpty());
        working = documents + "/spreadsheet.xls";
        QFile::remove(working);
        master = program.path() + "/spreadsheet.xls";
        writeFile(master, "master workbook");
        app = factory.prepare();
        app->startup = startup.path();
        run = std::make_unique<AcquisitionRun>(view, comm, factory, boxes, feed, program.path(),
                                               [] { return QTime(14, 30, 0); });
        comm.devicePath = "/dev/serial/by-id/usb-Acme_Meter_A1-if00-port0";
        auto fakeWatch = std::make_unique<FakeDeviceWatch>();
        watch = fakeWatch.get();
        run->setDeviceWatch(std::move(fakeWatch));
    }
    void TearDown() override { QFile::remove(working); }

    void start()
    {
        run->start();
        ASSERT_EQ(run->state(), RunState::Running);
    }
    void send(const QByteArray &text) { comm.pending += text; }
    void tick() { run->tick(); }
    void useMacro(const QString &name) { macro = {true, name}; }
    // Stop with `macro`, waited for to its end: a macro runs on in the background.
    void stop()
    {
        run->stop(macro);
        ASSERT_TRUE(waitUntil([this] { return !run->stopping(); }, 10000)) << "awaited the end of Stop";
    }
    // The instrument sends text, then the timer ticks.
    void tickWith(const QByteArray &text)
    {
        send(text);
        tick();
    }
    // The adapter is pulled out: the next read fails, and the reopen tried
    // right after finds no device.
    void pullOut()
    {
        comm.failInput = [] { throw CommError(8020, "Error reading comm device"); };
        comm.failOpen = [this] {
            comm.openFailure = kMissing;
            throw CommError(8010, "The hardware is not available");
        };
    }
    const OpenFailure kMissing{OpenFailure::Kind::Missing, "COM1 (/dev/serial/by-id/...) is not there."};

    std::shared_ptr<FakeWorkbook> workingBook() const { return app->book("spreadsheet.xls"); }
    QString cell(int row, int column) const { return workingBook()->text(row, column); }

    QTemporaryDir program;
    QTemporaryDir startup;
    QString documents;
    QString working;
    QString master;
    MacroSettings macro;
    FakeEmulatorFeed feed;
    FakeAcquisitionView view;
    FakeSerialComm comm;
    FakeSpreadsheetFactory factory;
    std::shared_ptr<FakeSpreadsheetApp> app;
    RecordingMessageBoxes boxes;
    std::unique_ptr<AcquisitionRun> run;
    FakeDeviceWatch *watch = nullptr; // owned by the run
};
