// The user's base directories by the freedesktop.org standards (XDG): home, data, configuration,
// and the folders named in user-dirs.dirs.
#pragma once

#include <string>
#include <string_view>

namespace freedesktop {

// $HOME, or the password database's home directory when HOME is unset or empty.
std::string HomeDirectory();
// $XDG_DATA_HOME when set and not empty, else ~/.local/share (the rule GLib follows).
std::string DataHome();
// $XDG_CONFIG_HOME when set and not empty, else ~/.config.
std::string ConfigHome();

// The user's desktop directory: XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs ("$HOME/..." or
// an absolute path, the last such line wins), else ~/Desktop. Not created.
std::string DesktopDirectory();
// The XDG_DESKTOP_DIR value of a user-dirs.dirs text resolved against home; empty when none.
std::string ParseUserDirsDesktop(const std::string& text, const std::string& home);
// The value of key (XDG_DESKTOP_DIR, XDG_DOCUMENTS_DIR …) in a user-dirs.dirs text, resolved against
// home; empty when none.
std::string ParseUserDirsEntry(const std::string& text, const std::string& home, std::string_view key);
// The user's documents folder: XDG_DOCUMENTS_DIR of user-dirs.dirs (unless it names the home folder
// itself), else ~/Documents when that is a folder, else the home folder. Not created.
std::string DocumentsDirectory();

}  // namespace freedesktop
