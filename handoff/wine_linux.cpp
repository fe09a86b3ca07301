#include "handoff/wine_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/afx.h"

namespace wine {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

bool ReadAt(int fd, off_t offset, void* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

struct Captured {
  bool ran = false;       // started and ended with status 0
  bool timedOut = false;
  std::string output;     // its standard output
};

// Runs argv (argv[0] a full path) with standard input and error on /dev/null and captures its
// standard output. The child ends when it exits; helpers it leaves running (wineserver) may keep
// the pipe open, so the reading stops at the child's exit, not at the end of the pipe.
Captured Capture(const std::vector<std::string>& argv, int timeoutMs) {
  Captured result;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;

  // A process group of its own, so that a wine that does not answer is ended with all it started.
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawnattr_init(&attributes);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  ::posix_spawnattr_setpgroup(&attributes, 0);
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, args[0], &actions, &attributes, args.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return result;
  }
  ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  bool exited = false;
  bool endOfPipe = false;
  auto drain = [&] {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      if (result.output.size() < 65536) result.output.append(buffer, static_cast<std::size_t>(n));
    }
    return n == 0;  // end of the pipe
  };
  while (!exited) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) {
      exited = true;
      break;
    }
    if (done < 0 && errno != EINTR) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      ::kill(-child, SIGKILL);
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    // Once the pipe has ended, poll only waits (it would report the end at once every time).
    pollfd pfd{endOfPipe ? -1 : pipeFds[0], POLLIN, 0};
    ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
    if (!endOfPipe) endOfPipe = drain();
  }
  drain();
  ::close(pipeFds[0]);
  result.ran = exited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

}  // namespace

bool IsPeImage(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool pe = false;
  unsigned char mz[2];
  unsigned char offsetBytes[4];
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAt(fd, 0, mz, 2) && mz[0] == 'M' && mz[1] == 'Z' &&
      ReadAt(fd, 0x3C, offsetBytes, 4)) {
    const std::uint32_t offset = offsetBytes[0] | (offsetBytes[1] << 8) | (offsetBytes[2] << 16) |
                                 (static_cast<std::uint32_t>(offsetBytes[3]) << 24);
    char signature[4];
    pe = static_cast<off_t>(offset) + 4 <= st.st_size && ReadAt(fd, static_cast<off_t>(offset), signature, 4) &&
         std::memcmp(signature, "PE\0\0", 4) == 0;
  }
  ::close(fd);
  return pe;
}

std::string FindWine() {
  const std::string path = Env("PATH");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    // An empty entry is the current directory, which is never searched for wine.
    const std::string dir = path.substr(start, end - start);
    if (!dir.empty() && dir.front() == '/') {
      const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + "wine";
      struct stat st {};
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::string();
}

std::string PrefixDirectory() {
  std::string prefix = Env("WINEPREFIX");
  if (prefix.empty()) {
    std::string home = Env("HOME");
    if (home.empty()) {
      if (const passwd* entry = ::getpwuid(::getuid())) home = entry->pw_dir;
    }
    prefix = home + "/.wine";
  }
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

bool PrefixExists(const std::string& prefix) {
  struct stat st {};
  return ::stat((prefix + "/system.reg").c_str(), &st) == 0 && ::stat((prefix + "/user.reg").c_str(), &st) == 0;
}

TempDirectory QueryTempDirectory(const std::string& winePath, int timeoutMs) {
  // GetTempPathA takes TMP first; every prefix that wineboot made defines it (with TEMP).
  const Captured run = Capture({winePath, "cmd.exe", "/c", "winepath.exe", "-u", "%TMP%"}, timeoutMs);
  if (run.timedOut) return {"", Format("wine 在 %d 秒内没有回答", timeoutMs / 1000)};
  std::string line = run.output.substr(0, run.output.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (!run.ran || line.empty() || line.front() != '/' || line.find('%') != std::string::npos) {
    return {"", "wine 没有给出临时目录"};
  }
  struct stat st {};
  if (::stat(line.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return {"", Format("临时目录 %s 不存在", line.c_str())};
  }
  if (line.back() != '/') line += '/';
  return {line, ""};
}

}  // namespace wine
