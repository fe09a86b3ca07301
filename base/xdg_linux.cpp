#include "base/xdg_linux.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace freedesktop {

namespace {

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

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

}  // namespace freedesktop
