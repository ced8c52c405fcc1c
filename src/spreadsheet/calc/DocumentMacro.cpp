#include "DocumentMacro.h"

#include "SpreadsheetError.h"

#include <QRegularExpression>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/script/ModuleInfo.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/util/XModifiable.hpp>

using Kind = SpreadsheetError::Kind;

namespace {
const QString kCallerFunction = QStringLiteral("HalvernCall");

Reference<css::container::XNameContainer> libraryOf(const Reference<css::frame::XModel> &model, const QString &name)
{
    Reference<css::document::XEmbeddedScripts> scripts(model, UNO_QUERY_THROW);
    Reference<css::script::XLibraryContainer> libraries(scripts->getBasicLibraries(), UNO_QUERY_THROW);
    if (!libraries->isLibraryLoaded(toOUString(name)))
        libraries->loadLibrary(toOUString(name));
    return Reference<css::container::XNameContainer>(libraries->getByName(toOUString(name)), UNO_QUERY_THROW);
}

bool isIdentifier(const QString &text)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return identifier.match(text).hasMatch();
}

Reference<css::util::XModifiable> modifiable(const Reference<css::frame::XModel> &model)
{
    return Reference<css::util::XModifiable>(model, UNO_QUERY_THROW);
}
} // namespace

std::unique_ptr<DocumentMacro> DocumentMacro::find(const Reference<css::frame::XModel> &model, const QString &library,
                                                   const QString &module, const QString &name)
{
    Reference<css::document::XEmbeddedScripts> scripts(model, UNO_QUERY);
    if (!scripts.is() || !isIdentifier(name))
        return nullptr;
    Reference<css::container::XNameAccess> libraries(scripts->getBasicLibraries(), UNO_QUERY);
    if (!libraries.is())
        return nullptr;
    const QRegularExpression declaration(
        QStringLiteral("^[ \\t]*(?:(?:public|private|static)[ \\t]+)*(?:sub|function)[ \\t]+(%1)\\b")
            .arg(QRegularExpression::escape(name)),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    static const QRegularExpression vbaOption(QStringLiteral("^[ \\t]*option[ \\t]+vbasupport[ \\t]+1\\b"),
                                              QRegularExpression::CaseInsensitiveOption
                                                  | QRegularExpression::MultilineOption);
    const Sequence<OUString> libraryNames = libraries->getElementNames();
    for (const OUString &lib : libraryNames) {
        if (!library.isEmpty() && toQString(lib).compare(library, Qt::CaseInsensitive) != 0)
            continue;
        const Reference<css::container::XNameContainer> modules = libraryOf(model, toQString(lib));
        const Sequence<OUString> moduleNames = modules->getElementNames();
        for (const OUString &mod : moduleNames) {
            if (!module.isEmpty() && toQString(mod).compare(module, Qt::CaseInsensitive) != 0)
                continue;
            OUString source;
            modules->getByName(mod) >>= source;
            const QString text = toQString(source);
            const QRegularExpressionMatch m = declaration.match(text);
            if (!m.hasMatch())
                continue;
            std::unique_ptr<DocumentMacro> found(new DocumentMacro);
            found->m_model = model;
            found->m_library = toQString(lib);
            found->m_module = toQString(mod);
            found->m_name = m.captured(1); // the spelling of the declaration
            found->m_vba = vbaOption.match(text).hasMatch();
            return found;
        }
    }
    return nullptr;
}

QString DocumentMacro::fullName() const { return m_library + '.' + m_module + '.' + m_name; }

QString DocumentMacro::callerSource() const
{
    // VBA goes through Application.Run, which also runs a Private Sub, as
    // Excel's does; Basic calls the macro itself. The module's name keeps two
    // macros of the same name apart; a module name Basic cannot spell is left
    // out of a direct call.
    QString target;
    if (m_vba)
        target = QStringLiteral("Application.Run \"%1.%2\"").arg(QString(m_module).replace('"', "\"\""), m_name);
    else
        target = isIdentifier(m_module) ? m_module + '.' + m_name : m_name;
    const QString failed = m_vba ? QStringLiteral("\"error \" & Err.Number & \": \" & Err.Description")
                                 : QStringLiteral("\"error \" & Err & \": \" & Error$");
    return (m_vba ? QStringLiteral("Option VBASupport 1\n") : QString())
           + QStringLiteral("Public Function %1() As String\n"
                            "    On Error GoTo Failed\n"
                            "    %2\n"
                            "    %1 = \"ok\"\n"
                            "    Exit Function\n"
                            "Failed:\n"
                            "    %1 = %3\n"
                            "End Function\n")
                 .arg(kCallerFunction, target, failed);
}

void DocumentMacro::addCaller()
{
    const Reference<css::container::XNameContainer> modules = libraryOf(m_model, m_library);
    QString caller = QStringLiteral("HalvernCaller");
    for (int n = 2; modules->hasByName(toOUString(caller)); ++n)
        caller = QStringLiteral("HalvernCaller%1").arg(n);
    const bool wasModified = modifiable(m_model)->isModified();
    const Reference<css::script::vba::XVBAModuleInfo> info(modules, UNO_QUERY);
    if (m_vba && info.is()) {
        css::script::ModuleInfo moduleInfo;
        moduleInfo.ModuleType = css::script::ModuleType::NORMAL;
        info->insertModuleInfo(toOUString(caller), moduleInfo);
    }
    modules->insertByName(toOUString(caller), Any(toOUString(callerSource())));
    m_caller = caller;
    modifiable(m_model)->setModified(wasModified);
}

QString DocumentMacro::call()
{
    const Reference<css::script::provider::XScriptProvider> provider =
        Reference<css::script::provider::XScriptProviderSupplier>(m_model, UNO_QUERY_THROW)->getScriptProvider();
    const Reference<css::script::provider::XScript> script =
        provider->getScript(toOUString(QStringLiteral("vnd.sun.star.script:%1.%2.%3?language=Basic&location=document")
                                           .arg(m_library, m_caller, kCallerFunction)));
    Sequence<sal_Int16> outIndex;
    Sequence<Any> outParams;
    OUString answer;
    script->invoke(Sequence<Any>(), outIndex, outParams) >>= answer;
    return toQString(answer);
}

void DocumentMacro::removeCaller()
{
    if (!m_caller.isEmpty() && m_model.is()) {
        const bool wasModified = modifiable(m_model)->isModified();
        const Reference<css::container::XNameContainer> modules = libraryOf(m_model, m_library);
        const OUString caller = toOUString(m_caller);
        m_caller.clear();
        if (modules->hasByName(caller))
            modules->removeByName(caller);
        const Reference<css::script::vba::XVBAModuleInfo> info(modules, UNO_QUERY);
        if (info.is() && info->hasModuleInfo(caller))
            info->removeModuleInfo(caller);
        modifiable(m_model)->setModified(wasModified);
    }
    m_model.clear();
}

void DocumentMacro::checkAnswer(const QString &answer)
{
    if (answer == QLatin1String("ok"))
        return;
    if (answer.isEmpty())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("the macro's library does not compile"));
    throw SpreadsheetError(Kind::Failed, answer);
}
