#include "CaughtException.h"

#include <exception>

QString CaughtException::reason()
{
    const std::exception_ptr caught = std::current_exception();
    if (!caught)
        return QStringLiteral("no exception");
    try {
        std::rethrow_exception(caught);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("an exception of an unknown type");
    }
}
