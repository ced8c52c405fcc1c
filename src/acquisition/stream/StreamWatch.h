#pragma once

#include "LineObserver.h"

#include <QByteArrayView>

// Watches a run's stream: every byte as it arrives, and where the parser put
// each line (LineObserver). Lines are told in the order of the text.
class StreamWatch : public LineObserver {
public:
    // A run starts: a new stream, nothing before it will be told.
    virtual void runStarted() = 0;
    // Bytes received, in order, as the run's journal keeps them.
    virtual void textArrived(QByteArrayView text) = 0;
    // The unfinished line at the end was left out: the port was lost in its
    // middle. A LF right after its CR, if that is what comes next, ends it.
    virtual void lineBrokenOff() = 0;
};
