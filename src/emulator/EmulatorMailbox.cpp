#include "EmulatorMailbox.h"

#include "InjectTab.h"

#include <utility>

QByteArray EmulatorMailbox::takeOutput() { return std::exchange(m_output, QByteArray()); }

QByteArray EmulatorMailbox::takeInstrumentText()
{
    QByteArray output = takeOutput();
    if (!m_injectTab)
        return output;
    std::optional<QByteArray> line = InjectTab::lineFor(output);
    if (!line)
        return output; // a text without a leading number passes as it is
    clearInjectTab();  // one-shot: unticks "Inject Single Tab"
    return *line;
}

void EmulatorMailbox::clearInjectTab()
{
    m_injectTab = false;
    if (m_onInjectTabCleared)
        m_onInjectTabCleared();
}
