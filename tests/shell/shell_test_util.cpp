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

std::vector<std::string> BuildEnvironment(const EnvChanges& changes) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : env) result.push_back(name + "=" + value);
  return result;
}

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

RunResult Run(const std::vector<std::string>& argv, const EnvChanges& env, const std::string& cwd) {
  RunResult result;
  const std::vector<std::string> envStrings = BuildEnvironment(env);
  std::vector<char*> envp;
  for (const std::string& s : envStrings) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  if (!cwd.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (spawned != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    result.err = "cannot start " + argv[0];
    return result;
  }
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

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
