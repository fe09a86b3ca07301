#include "shell/freedesktop_linux.h"

#include <fcntl.h>
#include <glib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "app/safe_write_linux.h"

// The PNG images generated from res/icon_32.png and res/icon_16.png.
extern const unsigned char qelmora_icon_32_png[];
extern const std::size_t qelmora_icon_32_png_len;
extern const unsigned char qelmora_icon_16_png[];
extern const std::size_t qelmora_icon_16_png_len;

namespace freedesktop {

namespace {

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// Characters that force an Exec argument into double quotes.
constexpr const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";

}  // namespace

std::string HomeDirectory() {
  std::string home = NonEmptyEnv("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return "/";
}

std::string DataHome() {
  const std::string value = NonEmptyEnv("XDG_DATA_HOME");
  return value.empty() ? HomeDirectory() + "/.local/share" : value;
}

std::string ConfigHome() {
  const std::string value = NonEmptyEnv("XDG_CONFIG_HOME");
  return value.empty() ? HomeDirectory() + "/.config" : value;
}

std::string ParseUserDirsDesktop(const std::string& text, const std::string& home) {
  return ParseUserDirsEntry(text, home, "XDG_DESKTOP_DIR");
}

std::string ParseUserDirsEntry(const std::string& text, const std::string& home, std::string_view kKey) {
  std::string found;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t p = 0;
    auto skipBlanks = [&] {
      while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    };
    skipBlanks();
    if (line.compare(p, kKey.size(), kKey) != 0) continue;
    p += kKey.size();
    skipBlanks();
    if (p >= line.size() || line[p] != '=') continue;
    ++p;
    skipBlanks();
    if (p >= line.size() || line[p] != '"') continue;
    ++p;
    bool relative = false;
    if (line.compare(p, 6, "$HOME/") == 0) {
      p += 6;
      relative = true;
    } else if (p >= line.size() || line[p] != '/') {
      continue;
    }
    std::string value;
    while (p < line.size() && line[p] != '"') {
      if (line[p] == '\\' && p + 1 < line.size()) ++p;
      value += line[p++];
    }
    found = relative ? home + "/" + value : value;
  }
  return found;
}

namespace {

// The value of one key of the user's user-dirs.dirs; empty when none.
std::string UserDir(const std::string& home, std::string_view key) {
  std::ifstream in(ConfigHome() + "/user-dirs.dirs", std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseUserDirsEntry(text.str(), home, key);
}

}  // namespace

std::string DesktopDirectory() {
  const std::string home = HomeDirectory();
  const std::string dir = UserDir(home, "XDG_DESKTOP_DIR");
  return dir.empty() ? home + "/Desktop" : dir;
}

std::string DocumentsDirectory() {
  const std::string home = HomeDirectory();
  std::string dir = UserDir(home, "XDG_DOCUMENTS_DIR");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  // "$HOME/" is how user-dirs.dirs switches a folder off.
  if (!dir.empty() && dir != home) return dir;
  struct stat info;
  if (stat((home + "/Documents").c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return home + "/Documents";
  return home;
}

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
