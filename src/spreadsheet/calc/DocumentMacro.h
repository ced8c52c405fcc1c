#pragma once

// Internal to the Calc component: one macro of a workbook, run the way
// Application.Run runs it, with its failure told.
#include "UnoSupport.h"

#include <com/sun/star/frame/XModel.hpp>
#include <memory>

// The office swallows a macro's run-time error and silently skips a library
// that does not compile. So the macro is called from a small caller module
// put into its own library for the call: the caller catches the error and
// answers "ok" or "error <n>: <text>"; no answer at all means the library
// did not compile. All calls run on the office's worker thread.
class DocumentMacro {
public:
    // Finds Sub or Function `name` in the workbook's Basic libraries (a VBA
    // project is one of them), only in `library` and `module` when given.
    // Null when it is not there.
    static std::unique_ptr<DocumentMacro> find(const Reference<css::frame::XModel> &model, const QString &library,
                                               const QString &module, const QString &name);

    // "Library.Module.Name" as found.
    QString fullName() const;
    // Puts the caller module beside the macro; the workbook's modified flag
    // is left as it was.
    void addCaller();
    // Runs the macro through the caller; returns the caller's answer.
    QString call();
    // Takes the caller out again, keeping what the macro did to the modified
    // flag, and lets go of the workbook.
    void removeCaller();
    // Throws SpreadsheetError (Failed) with the reason when the answer of
    // call() is not "ok".
    static void checkAnswer(const QString &answer);

private:
    DocumentMacro() = default;
    QString callerSource() const;

    Reference<css::frame::XModel> m_model;
    QString m_library;
    QString m_module;
    QString m_name;
    bool m_vba = false;
    QString m_caller; // the caller module's name while it is in the library
};
