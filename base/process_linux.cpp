#include "base/process_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string_view>

extern char** environ;

namespace process {

namespace {

// Built before any fork: a child allocates nothing.
std::vector<char*> ArgumentVector(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  return args;
}

// Our environment with the NAME=VALUE entries set on top; the texts live in `storage`.
std::vector<char*> Environment(const std::vector<std::string>& set, std::vector<std::string>& storage) {
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& change : set) replaced = replaced || std::string_view(change).substr(0, name.size()) == name;
    if (!replaced) storage.emplace_back(text);
  }
  storage.insert(storage.end(), set.begin(), set.end());
  return ArgumentVector(storage);
}

void WaitFor(pid_t child, int* status) {
  while (::waitpid(child, status, 0) < 0 && errno == EINTR) {
  }
}

constexpr std::size_t kMaxOutput = 65536;
constexpr int kRefusalPollMs = 20;

}  // namespace

bool StartDetached(const std::vector<std::string>& argv, const std::string& workingDirectory, int refusalMs,
                   const std::vector<std::string>& environment) {
  if (argv.empty()) return false;
  std::vector<char*> args = ArgumentVector(argv);
  std::vector<std::string> envStorage;
  std::vector<char*> env = Environment(environment, envStorage);
  // Exec failures come back through a close-on-exec pipe; the grandchild outlives us.
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return false;
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) _exit(1);
    if (grandchild > 0) {
      // Watched for a moment: an early failure is a refused start. Still running after it, the
      // program is left to init.
      for (int waited = 0; waited < refusalMs; waited += kRefusalPollMs) {
        int status = 0;
        if (::waitpid(grandchild, &status, WNOHANG) == grandchild) {
          _exit(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1);
        }
        ::poll(nullptr, 0, kRefusalPollMs);
      }
      _exit(0);
    }
    int err = 0;
    if (::chdir(workingDirectory.c_str()) != 0) {
      err = errno;
    } else {
      const int devNull = ::open("/dev/null", O_RDWR);
      if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::close(devNull);
      }
      ::execve(args[0], args.data(), env.data());
      err = errno;
    }
    (void)!::write(pipeFds[1], &err, sizeof err);
    _exit(127);
  }
  ::close(pipeFds[1]);
  int status = 0;
  WaitFor(child, &status);
  int err = 0;
  ssize_t n;
  do {
    n = ::read(pipeFds[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(pipeFds[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

RunResult RunAndWait(const std::vector<std::string>& argv, const RunOptions& options,
                     const std::vector<std::string>& environment) {
  RunResult result;
  if (argv.empty()) return result;
  std::vector<char*> args = ArgumentVector(argv);
  std::vector<std::string> envStorage;
  std::vector<char*> env = Environment(environment, envStorage);
  int pipeFds[2] = {-1, -1};
  if (options.captureOutput && ::pipe2(pipeFds, O_CLOEXEC) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (options.captureOutput) {
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  if (options.quietErrors) ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawnattr_init(&attributes);
  const bool limited = options.timeoutMs >= 0;
  if (limited) {
    // A process group of its own, so that a program that does not answer is ended with all it started.
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attributes, 0);
  }
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, args[0], &actions, &attributes, args.data(), env.data());
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  if (options.captureOutput) ::close(pipeFds[1]);
  if (spawned != 0) {
    if (options.captureOutput) ::close(pipeFds[0]);
    result.startError = spawned;
    return result;
  }

  int status = 0;
  if (!options.captureOutput && !limited) {
    WaitFor(child, &status);
    result.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
  }

  const int outFd = options.captureOutput ? pipeFds[0] : -1;
  if (outFd >= 0) ::fcntl(outFd, F_SETFL, O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(options.timeoutMs, 0));
  bool exited = false;
  bool endOfPipe = outFd < 0;
  auto drain = [&] {
    if (outFd < 0) return true;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(outFd, buffer, sizeof buffer)) > 0) {
      if (result.output.size() < kMaxOutput) result.output.append(buffer, static_cast<std::size_t>(n));
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
    int waitMs = 20;
    if (limited) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        result.timedOut = true;
        ::kill(-child, SIGKILL);
        WaitFor(child, &status);
        break;
      }
      waitMs = static_cast<int>(std::min<long long>(left.count(), waitMs));
    }
    // Once the pipe has ended, poll only waits (it would report the end at once every time).
    pollfd pfd{endOfPipe ? -1 : outFd, POLLIN, 0};
    ::poll(&pfd, 1, waitMs);
    if (!endOfPipe) endOfPipe = drain();
  }
  drain();
  if (outFd >= 0) ::close(outFd);
  result.ran = exited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

}  // namespace process
