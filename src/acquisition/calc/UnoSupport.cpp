#include "UnoSupport.h"

#include <csignal>
#include <cppuhelper/bootstrap.hxx>
#include <mutex>
#include <rtl/bootstrap.hxx>

css::uno::Reference<css::uno::XComponentContext> UnoSupport::localContext()
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
        const OUString program("file:///usr/lib/libreoffice/program/");
        rtl::Bootstrap::set("URE_INTERNAL_LIB_DIR", program);
        rtl::Bootstrap::set("UNO_TYPES", program + "types.rdb " + program + "types/offapi.rdb");
        rtl::Bootstrap::set("UNO_SERVICES", program + "services.rdb");
        auto ctx = cppu::defaultBootstrap_InitialComponentContext();
        context = new css::uno::Reference<css::uno::XComponentContext>(ctx);
    }
    return *context;
}
