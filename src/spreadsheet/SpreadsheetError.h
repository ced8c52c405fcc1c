#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

// A failure of a spreadsheet call. Callers only tell a busy application (the
// call was rejected, 0x80010001: the user is editing a cell or a dialog is
// open) from every other failure.
class SpreadsheetError : public std::runtime_error {
public:
    enum class Kind {
        Busy,    // call rejected by the callee; a later call may succeed
        Gone,    // the application has ended or cannot be reached
        Failed,  // the call itself failed (file not found, macro that stopped on an error, ...)
        Missing, // what the call names is not there (a macro, the workbook holding it)
    };
    static constexpr std::uint32_t kCallRejected = 0x80010001u;

    SpreadsheetError(Kind kind, const QString &message, bool stillRunning = false)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_stillRunning(stillRunning)
    {
    }
    Kind kind() const { return m_kind; }
    bool isBusy() const { return m_kind == Kind::Busy; }
    // Busy because the call was started but not answered within its time
    // limit: it goes on in the application and ends later, written or failed
    // (see SpreadsheetApp::lateWrite()).
    bool stillRunning() const { return m_stillRunning; }

private:
    Kind m_kind;
    bool m_stillRunning;
};
