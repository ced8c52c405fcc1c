#include "EmulatorMailbox.h"

#include <utility>

QByteArray EmulatorMailbox::takeOutput() { return std::exchange(m_output, QByteArray()); }

void EmulatorMailbox::clearInjectTab()
{
    m_injectTab = false;
    if (m_onInjectTabCleared)
        m_onInjectTabCleared();
}
