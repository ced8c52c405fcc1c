#pragma once

#include <QString>
#include <cstdint>

class MessageBoxes;

// Special folder identifiers understood by GetFolderPath.
constexpr std::int32_t CSIDL_PERSONAL = 5;        // the user's documents folder
constexpr std::int32_t CSIDL_COMMON_APPDATA = 35; // data shared by all users

// Turns a special folder identifier into the folder's path (no trailing "/").
// True on success, path set. False when the folder does not exist (no
// message, path unchanged). Any other identifier: an error box, then False.
bool GetFolderPath(const std::int32_t &csidl, QString &path, MessageBoxes &boxes);

// The same lookups by name, for code that is not a window: the folder's path
// without a trailing "/", or empty when it does not exist.
namespace SpecialFolder {
QString documents();  // the user's documents folder (the home folder when there is none)
QString sharedData(); // data shared by all users: the first folder of XDG_DATA_DIRS
} // namespace SpecialFolder
