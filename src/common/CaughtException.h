#pragma once

#include <QString>

// The reason of the exception being handled, for the log. Call it only inside
// a catch block.
namespace CaughtException {
QString reason();
} // namespace CaughtException
