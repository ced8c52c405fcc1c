#pragma once

#include <QString>

// Why something at the office or the port did not work, in words a user can
// be shown. Returned as std::optional<Failure>: nothing when it worked.
struct Failure {
    QString reason;
};
