#pragma once

#include <QByteArray>
#include <optional>

// "Inject Single Tab": the emulator's next numeric output turned into a
// two-field TAB line.
class InjectTab {
public:
    // For an output that starts with a number v, the TAB line "v<TAB>v+1"
    // CR LF; none for a text without a leading number (a block separator).
    static std::optional<QByteArray> lineFor(const QByteArray &output);
};
