#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/afx.h"
#include "app/platform.h"
#include "app/safe_write_linux.h"
#include "handoff/wine_linux.h"
#include "shell/freedesktop_linux.h"

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

// The user's data directory of the program, created when missing; no trailing separator. Without
// HOME the home comes from the password database: never a folder that other users share.
std::string UserDataDirectory() {
  const std::string dir = freedesktop::DataHome() + "/qelmora";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir;
}

class LinuxPlatform final : public Platform {
 public:
  std::string ModuleFileName() override {
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    // A program file that was removed or replaced reads as "... (deleted)": no path of ours then.
    if (ec || !std::filesystem::exists(path, ec)) return std::string();
    return path.string();
  }

  std::string SystemDirectory() override { return UserDataDirectory(); }

  std::string TempPath() override {
    std::string dir = EnvOr("TMPDIR", "/tmp");
    if (dir.back() != '/') dir += '/';
    return dir;
  }

  bool Exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }

  int WriteWholeFileExclusive(const std::string& path, const std::string& bytes) override {
    // No sharing while it is written: a file already there is replaced only when nobody holds a
    // lock on it, and that lock is kept until the new one is in its place. Only a regular file is
    // replaced (a link by a file of its own): never a FIFO or a device, and opening one never blocks.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
      return FileException::accessDenied;
    }
    const int current = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (current >= 0 && (::fstat(current, &info) != 0 || !S_ISREG(info.st_mode))) {
      ::close(current);
      return FileException::accessDenied;
    }
    if (current >= 0 && ::flock(current, LOCK_EX | LOCK_NB) != 0) {
      const int cause = FileCauseFromErrno(errno);
      ::close(current);
      return cause;
    }
    int cause = 0;
    try {
      WriteFileSafely(path, bytes, {.mode = CreationMode(0644)});
    } catch (const FileSystemError& e) {
      cause = FileCauseFromErrno(e.error());
    }
    if (current >= 0) ::close(current);
    return cause;
  }

  void OleInit() override {}

  bool StartProgram(const std::string& program, const std::string& workingDirectory) override {
    // A Windows program is opened as Windows opens it: wine runs it, with its path as the one argument.
    if (wine::IsPeImage(program)) {
      const std::string winePath = wine::FindWine();
      return !winePath.empty() && StartDetached({winePath, program}, workingDirectory);
    }
    struct stat st {};
    if (::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(program.c_str(), X_OK) != 0) {
      return false;
    }
    return StartDetached({program}, workingDirectory);
  }

  [[noreturn]] void ExitProcess(int status) override { std::exit(status); }

 private:
  // Runs argv (argv[0] a full path) in the working directory given, in a session of its own, and
  // does not wait for it.
  static bool StartDetached(const std::vector<std::string>& argv, const std::string& workingDirectory) {
    // Built before the fork: the child allocates nothing.
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    // Report exec failures back through a close-on-exec pipe; the grandchild outlives us.
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
      if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
      int err = 0;
      if (::chdir(workingDirectory.c_str()) != 0) {
        err = errno;
      } else {
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
          ::dup2(devNull, STDIN_FILENO);
          ::close(devNull);
        }
        ::execv(args[0], args.data());
        err = errno;
      }
      (void)!::write(pipeFds[1], &err, sizeof err);
      _exit(127);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
      n = ::read(pipeFds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
  }
};

}  // namespace

Platform& RealPlatform() {
  static LinuxPlatform platform;
  return platform;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code ec;
  const std::string current = std::filesystem::current_path(ec).string();
  if (ec) return path;
  std::string_view rest = path;
  while (rest.size() > 2 && rest.substr(0, 2) == "./") rest.remove_prefix(2);
  return current + (current.back() == '/' ? "" : "/") + std::string(rest);
}

std::string DataDirectory(const std::string& name) {
  const std::string program = ProgramDirectory();
  if (ThePlatform().Exists(program + name)) return program;
  return UserDataDirectory() + '/';
}
