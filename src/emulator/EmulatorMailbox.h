#pragma once

#include "EmulatorFeed.h"

#include <QByteArray>
#include <functional>

// The one-slot mailbox between the emulator window and the acquisition run.
// It outlives the window: made at start-up, written by whichever emulator
// window is open, read by the run. A later output overwrites one not yet taken.
class EmulatorMailbox : public EmulatorFeed {
public:
    void setActive(bool active) { m_active = active; }
    void post(const QByteArray &output) { m_output = output; }
    void setInjectTab(bool requested) { m_injectTab = requested; }
    // Called when the run has served the inject request, so the window can
    // untick its box; empty when no window is open.
    void setInjectTabClearedHandler(std::function<void()> handler) { m_onInjectTabCleared = std::move(handler); }

    // The output posted and not yet taken.
    const QByteArray &output() const { return m_output; }

    bool isActive() const override { return m_active; }
    // The latest output not yet taken; empty when there is none.
    QByteArray takeOutput();
    // The latest output, or, when an inject is requested and the output
    // starts with a number, its TAB line (see InjectTab); the request is
    // then served and cleared.
    QByteArray takeInstrumentText() override;
    bool injectTabRequested() const { return m_injectTab; }
    void clearInjectTab();

private:
    bool m_active = false;
    bool m_injectTab = false;
    QByteArray m_output;
    std::function<void()> m_onInjectTabCleared;
};
