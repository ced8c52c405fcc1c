#pragma once

// Small helpers shared by the UNO side of the Calc component.
#include <QString>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Reference.hxx>
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
// The process-wide UNO runtime of this client, made on first use. Throws
// css::uno::Exception when the runtime cannot be set up.
css::uno::Reference<css::uno::XComponentContext> localContext();
} // namespace UnoSupport
