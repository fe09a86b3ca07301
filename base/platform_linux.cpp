#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/afx.h"
#include "base/platform.h"
#include "base/process_linux.h"
#include "base/safe_write_linux.h"
#include "base/wine_linux.h"
#include "base/xdg_linux.h"

namespace {

// How long a started wine is watched for a refusal. Wine refuses a program it cannot start within a
// second, even when it must start its server first; a program it did start runs on.
constexpr int kWineRefusalMs = 2000;

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
    // Wine refuses what it cannot start ("ShellExecuteEx failed") by ending with a failure at once;
    // that is a failed start, as a failed ShellExecuteA is on Windows.
    if (wine::IsPeImage(program)) {
      const wine::Launcher launcher = wine::LauncherFor(program);
      return launcher.failure.empty() &&
             process::StartDetached({launcher.wine, program}, workingDirectory, kWineRefusalMs, launcher.environment);
    }
    struct stat st {};
    if (::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(program.c_str(), X_OK) != 0) {
      return false;
    }
    return process::StartDetached({program}, workingDirectory);
  }

  [[noreturn]] void ExitProcess(int status) override { std::exit(status); }
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

bool ProgramIsInstalled() {
  const std::string program = ProgramDirectory();
  return !program.empty() && ThePlatform().Exists(program + "../share/applications/qelmora.desktop");
}

std::string DataDirectory(const std::string& name) {
  const std::string program = ProgramDirectory();
  if (ThePlatform().Exists(program + name)) return program;
  return UserDataDirectory() + '/';
}
