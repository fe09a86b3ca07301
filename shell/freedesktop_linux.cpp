#include "shell/freedesktop_linux.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/safe_write_linux.h"

// The PNG images generated from res/icon_32.png and res/icon_16.png.
extern const unsigned char qelmora_icon_32_png[];
extern const std::size_t qelmora_icon_32_png_len;
extern const unsigned char qelmora_icon_16_png[];
extern const std::size_t qelmora_icon_16_png_len;

namespace freedesktop {

namespace {

// Characters that force an Exec argument into double quotes.
constexpr const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";

}  // namespace

std::string ExecQuote(const std::string& argument) {
  const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
  std::string out;
  if (quote) out += '"';
  for (const char c : argument) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

std::string EscapeValue(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ': out += (i == 0 ? "\\s" : " "); break;
      default: out += c; break;
    }
  }
  return out;
}

std::string ExecValue(const std::string& program, bool withFile) {
  return EscapeValue(ExecQuote(program) + (withFile ? " %f" : ""));
}

std::vector<std::string> ExpandExecForFile(const std::string& exec, const std::string& file) {
  std::string line;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%') {
      line += exec[i];
      continue;
    }
    if (++i >= exec.size()) return {};
    if (exec[i] == '%') {
      line += '%';
    } else if (exec[i] == 'f') {
      gchar* quoted = g_shell_quote(file.c_str());
      line += quoted;
      g_free(quoted);
    } else {
      return {};  // no other field code is ever written
    }
  }
  gint argc = 0;
  gchar** argv = nullptr;
  if (!g_shell_parse_argv(line.c_str(), &argc, &argv, nullptr)) return {};
  std::vector<std::string> result(argv, argv + argc);
  g_strfreev(argv);
  return result;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);  // a failure shows below
  try {
    WriteFileSafely(path, bytes, {.mode = mode});
    return true;
  } catch (const FileSystemError&) {
    return false;
  }
}

std::vector<IconImage> ProgramIcons() {
  return {{32, qelmora_icon_32_png, qelmora_icon_32_png_len}, {16, qelmora_icon_16_png, qelmora_icon_16_png_len}};
}

bool InstallIcon(const std::string& context, const std::string& name) {
  const std::string theme = DataHome() + "/icons/hicolor";
  for (const IconImage& icon : ProgramIcons()) {
    if (icon.length == 0) return false;
    const std::string size = std::to_string(icon.size) + "x" + std::to_string(icon.size);
    const std::string path = theme + "/" + size + "/" + context + "/" + name + ".png";
    if (!WriteFileAtomically(path, std::string(reinterpret_cast<const char*>(icon.data), icon.length), 0644)) {
      return false;
    }
  }
  // Icon theme caches notice new icons by the time stamp of the theme's own directory.
  ::utimensat(AT_FDCWD, theme.c_str(), nullptr, 0);
  return true;
}

}  // namespace freedesktop
