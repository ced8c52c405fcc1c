#include "CalcWorkbook.h"

#include "CalcCore.h"
#include "SilentInteractionHandler.h"

#include <QFileInfo>
#include <QUrl>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/util/XModifiable.hpp>


namespace {
QString filterFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("ods"))
        return QStringLiteral("calc8");
    if (suffix == QLatin1String("xlsx"))
        return QStringLiteral("Calc MS Excel 2007 XML");
    return QStringLiteral("MS Excel 97");
}
} // namespace

CalcWorkbook::CalcWorkbook(std::shared_ptr<CalcCore> core, std::shared_ptr<CalcDocument> document)
    : m_core(std::move(core)), m_document(std::move(document))
{
}

CalcWorkbook::~CalcWorkbook()
{
    m_core->release(m_document);
}

QString CalcWorkbook::name()
{
    auto doc = m_document;
    return m_core->call<QString>(CalcCore::kCallLimit, [doc](UnoState &) {
        const OUString url = doc->model->getURL();
        if (!url.isEmpty())
            return QUrl(toQString(url)).fileName();
        // Never saved: the office's own title ("Untitled 1").
        return toQString(Reference<css::frame::XTitle>(doc->model, UNO_QUERY_THROW)->getTitle());
    });
}

void CalcWorkbook::activate()
{
    auto doc = m_document;
    m_core->call<void>(CalcCore::kCallLimit, [doc](UnoState &state) { state.activate(doc->model); });
}

bool CalcWorkbook::saved()
{
    auto doc = m_document;
    return m_core->call<bool>(CalcCore::kCallLimit, [doc](UnoState &) {
        return !Reference<css::util::XModifiable>(doc->model, UNO_QUERY_THROW)->isModified();
    });
}

void CalcWorkbook::saveAs(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString url = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    const QString filter = filterFor(absolute);
    auto doc = m_document;
    m_core->noteDocument(absolute);
    m_core->call<void>(CalcCore::kDocumentLimit, [doc, url, filter](UnoState &) {
        css::uno::Sequence<css::beans::PropertyValue> args(3);
        args[0] = property("FilterName", css::uno::Any(toOUString(filter)));
        args[1] = property("Overwrite", css::uno::Any(true));
        args[2] = property("InteractionHandler",
                           css::uno::Any(Reference<css::task::XInteractionHandler>(new SilentInteractionHandler)));
        Reference<css::frame::XStorable>(doc->model, UNO_QUERY_THROW)->storeAsURL(toOUString(url), args);
    });
}
