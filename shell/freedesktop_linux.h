// The freedesktop.org pieces of the desktop integration on Linux (the per-user base directories are
// in base/xdg_linux.h): desktop entry quoting, atomic file writes, helper programs and the embedded program icon.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/xdg_linux.h"

namespace freedesktop {

// The MIME type of model files and the names the association installs.
inline constexpr const char* kMdlMimeType = "application/x-qelmora-mdl";
inline constexpr const char* kMdlMimeIconName = "application-x-qelmora-mdl";
inline constexpr const char* kDesktopId = "qelmora.desktop";
inline constexpr const char* kIconName = "qelmora";

// One argument of an Exec line: quoted in double quotes when it holds a reserved character (with
// ", `, $ and \ escaped inside), and every % doubled.
std::string ExecQuote(const std::string& argument);
// A value as a desktop entry file stores it: \ → \\, newline → \n, tab → \t, CR → \r, a leading
// blank → \s.
std::string EscapeValue(const std::string& value);
// The stored Exec value that runs program, with " %f" appended when withFile is true.
std::string ExecValue(const std::string& program, bool withFile);
// The argument vector GIO builds from an Exec line for one file: field codes expanded the way
// GDesktopAppInfo does, then split by the shell rules. Empty when GLib would not accept the line.
std::vector<std::string> ExpandExecForFile(const std::string& exec, const std::string& file);

// Writes a file through a temporary file in the same directory and a rename, so that readers see
// the old or the new content only. Creates missing parent directories. Returns false (and leaves
// no temporary file behind) on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode);

// The program icon (resource 128) as PNG files, embedded at build time.
struct IconImage {
  int size;  // 32 or 16
  const unsigned char* data;
  std::size_t length;
};
std::vector<IconImage> ProgramIcons();

// Installs the program icon into the user's hicolor theme as <context>/<name>.png for every size,
// then marks the theme changed. False when a file cannot be written.
bool InstallIcon(const std::string& context, const std::string& name);

}  // namespace freedesktop
