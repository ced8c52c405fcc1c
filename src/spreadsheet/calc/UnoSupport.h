#pragma once

// Small helpers shared by the UNO side of the Calc component.
#include <QString>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

using rtl::OUString;

namespace css = com::sun::star;

namespace UnoSupport {
inline QString toQString(const OUString &s)
{
    return QString(reinterpret_cast<const QChar *>(s.getStr()), s.getLength());
}
inline OUString toOUString(const QString &s)
{
    return OUString(reinterpret_cast<const sal_Unicode *>(s.utf16()), s.size());
}
// The program folder of the office `soffice` starts (types.rdb and
// services.rdb lie there): the folder of the file it resolves to, else the
// Debian office's.
QString programFolderOf(const QString &soffice);
// The process-wide UNO runtime of this client, made on first use from the
// type libraries in programFolder (later calls get the same runtime). Throws
// css::uno::Exception when the runtime cannot be set up.
css::uno::Reference<css::uno::XComponentContext> localContext(const QString &programFolder);
// The type and message of the exception being handled (a UNO one too), for
// the log. Call it only inside a catch block.
QString caughtReason();
// A named argument of an office call (load, store, ...).
css::beans::PropertyValue property(const char *name, const css::uno::Any &value);
} // namespace UnoSupport

// The names every file of the component uses; this header is internal to it.
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using UnoSupport::property;
using UnoSupport::toOUString;
using UnoSupport::toQString;
