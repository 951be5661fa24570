// The desktop's entries for Tessaro: the autostart entry that starts it
// hidden with the session while the automatic update is on, and the
// application entry that -RegServer installs and -UnregServer removes.
//
// Entries are written whole into a temporary file beside the target and
// renamed over it, so the desktop never reads half an entry. The program's
// path is quoted as Exec lines demand, so a path with blanks, quotes,
// backslashes, '$', '`' or '%' still starts the program.
#pragma once

#include <string>

namespace desktop_entry {

// $XDG_CONFIG_HOME (default ~/.config) + /autostart/tessaro.desktop
std::string AutostartEntryPath();
// $XDG_DATA_HOME (default ~/.local/share) + /applications/tessaro.desktop
std::string ApplicationEntryPath();

// The autostart entry runs `strProgram hide`.
[[nodiscard]] bool WriteAutostartEntry(const std::string& strProgram, std::string& strError);
// An entry that is not there counts as removed.
[[nodiscard]] bool RemoveAutostartEntry(std::string& strError);
[[nodiscard]] bool WriteApplicationEntry(const std::string& strProgram, std::string& strError);
[[nodiscard]] bool RemoveApplicationEntry(std::string& strError);

// The whole entry. `strProgram` is quoted as needed; `strArguments` follows
// it after a blank (when not empty) as written, already in Exec syntax.
std::string EntryText(const std::string& strProgram, const std::string& strArguments);

}  // namespace desktop_entry
