#include "UnoSupport.h"

#include "OfficeText.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <csignal>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <exception>
#include <mutex>
#include <rtl/bootstrap.hxx>

namespace {
const QString kDebianProgramFolder = QStringLiteral("/usr/lib/libreoffice/program");
}

QString UnoSupport::programFolderOf(const QString &soffice)
{
    QString path = soffice;
    if (!path.contains('/'))
        path = QStandardPaths::findExecutable(path);
    // /usr/bin/soffice is a link into the program folder; a wrapper script
    // elsewhere leaves us with the Debian office's folder.
    const QFileInfo real(QFileInfo(path).canonicalFilePath());
    QString folder = real.absolutePath();
    if (!real.fileName().isEmpty() && QFileInfo::exists(folder + QStringLiteral("/types.rdb")))
        return folder;
    return kDebianProgramFolder;
}

QString UnoSupport::caughtReason()
{
    try {
        throw;
    } catch (const css::uno::Exception &e) {
        const css::uno::Any caught = cppu::getCaughtException();
        return toQString(caught.getValueTypeName()) + QStringLiteral(": ")
               + OfficeText::withPaths(toQString(e.Message));
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("an exception of an unknown type");
    }
}

css::beans::PropertyValue UnoSupport::property(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

css::uno::Reference<css::uno::XComponentContext> UnoSupport::localContext(const QString &programFolder)
{
    // Made once and never torn down: threads that still wait on an office may
    // use it until the very end of the program.
    static std::mutex mutex;
    static css::uno::Reference<css::uno::XComponentContext> *context = nullptr;
    std::lock_guard lock(mutex);
    if (!context) {
        // Writing to the pipe of an office that has just died must fail the
        // call, not end this program.
        struct sigaction current = {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
        // Both type libraries are needed for the office API; the office's own
        // unorc is not suitable for a client.
        const OUString program = toOUString(QUrl::fromLocalFile(programFolder + '/').toString());
        rtl::Bootstrap::set("URE_INTERNAL_LIB_DIR", program);
        rtl::Bootstrap::set("UNO_TYPES", program + "types.rdb " + program + "types/offapi.rdb");
        rtl::Bootstrap::set("UNO_SERVICES", program + "services.rdb");
        auto ctx = cppu::defaultBootstrap_InitialComponentContext();
        context = new css::uno::Reference<css::uno::XComponentContext>(ctx);
    }
    return *context;
}
