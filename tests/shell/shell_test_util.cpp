#include "tests/shell/shell_test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace shelltest {

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char c = text[++i];
      out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

EnvGuard::EnvGuard(const EnvChanges& changes) {
  for (const auto& [name, value] : changes) {
    const char* old = std::getenv(name.c_str());
    m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
}

EnvGuard::~EnvGuard() {
  for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
    if (it->second) {
      ::setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      ::unsetenv(it->first.c_str());
    }
  }
}

ScratchUser::ScratchUser() { std::filesystem::create_directories(Home()); }

EnvChanges ScratchUser::Env(const EnvChanges& extra) const {
  EnvChanges env = {
      {"HOME", Home().string()},
      {"XDG_DATA_HOME", DataHome().string()},
      {"XDG_CONFIG_HOME", ConfigHome().string()},
      {"XDG_CACHE_HOME", (Home() / ".cache").string()},
      {"XDG_DATA_DIRS", "/usr/local/share/:/usr/share/"},
      {"XDG_CONFIG_DIRS", "/etc/xdg"},
      {"XDG_CURRENT_DESKTOP", "GNOME"},
      {"GIO_USE_VFS", "local"},
      {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
      {"DISPLAY", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
  };
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

std::string ProbePath() { return QELMORA_SHELL_PROBE; }
std::string RecorderPath() { return QELMORA_SHELL_RECORDER; }
std::string CliPath() { return QELMORA_CLI; }

void InstallStandIn(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::copy_file(RecorderPath(), path, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                         std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                         std::filesystem::perms::others_exec);
}

std::optional<Recorded> WaitForRecord(const std::filesystem::path& file, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!std::filesystem::exists(file)) {
    if (std::chrono::steady_clock::now() > end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::string bytes = qtest::ReadFileBytes(file);
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\0') {
      fields.push_back(bytes.substr(start, i - start));
      start = i + 1;
    }
  }
  if (fields.empty()) return std::nullopt;
  Recorded recorded;
  recorded.cwd = fields.front();
  recorded.argv.assign(fields.begin() + 1, fields.end());
  return recorded;
}

std::vector<ProbeBox> RunProbe(const std::string& command, const std::string& module, const EnvChanges& env,
                               int* status) {
  const RunResult run = Run({ProbePath(), command, module}, env);
  if (status != nullptr) *status = run.status;
  std::vector<ProbeBox> boxes;
  for (const std::string& line : Lines(run.out)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() != 4) continue;
    boxes.push_back({fields[0], fields[1], Unescape(fields[3]), static_cast<unsigned>(std::stoul(fields[2]))});
  }
  return boxes;
}

std::string FormatBoxes(const std::vector<ProbeBox>& boxes) {
  std::ostringstream out;
  for (const ProbeBox& box : boxes) out << "[" << box.kind << " | " << box.caption << " | " << box.text << "] ";
  return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::optional<std::string> DesktopEntryString(const std::filesystem::path& file, const std::string& key) {
  GKeyFile* keyFile = g_key_file_new();
  std::optional<std::string> value;
  if (g_key_file_load_from_file(keyFile, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
    gchar* text = g_key_file_get_string(keyFile, "Desktop Entry", key.c_str(), nullptr);
    if (text != nullptr) value = text;
    g_free(text);
  }
  g_key_file_free(keyFile);
  return value;
}

}  // namespace shelltest
