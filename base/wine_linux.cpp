#include "base/wine_linux.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/afx.h"
#include "base/process_linux.h"
#include "base/xdg_linux.h"

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

}  // namespace

PeMachine PeImageMachine(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return PeMachine::None;
  struct stat st {};
  PeMachine machine = PeMachine::None;
  unsigned char mz[2];
  unsigned char offsetBytes[4];
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAt(fd, 0, mz, 2) && mz[0] == 'M' && mz[1] == 'Z' &&
      ReadAt(fd, 0x3C, offsetBytes, 4)) {
    const std::uint32_t offset = offsetBytes[0] | (offsetBytes[1] << 8) | (offsetBytes[2] << 16) |
                                 (static_cast<std::uint32_t>(offsetBytes[3]) << 24);
    char signature[4];
    unsigned char field[2];
    if (static_cast<off_t>(offset) + 4 <= st.st_size && ReadAt(fd, static_cast<off_t>(offset), signature, 4) &&
        std::memcmp(signature, "PE\0\0", 4) == 0) {
      const bool known = ReadAt(fd, static_cast<off_t>(offset) + 4, field, 2);
      const unsigned value = known ? field[0] | (field[1] << 8) : 0;
      machine = value == 0x014C ? PeMachine::I386 : value == 0x8664 ? PeMachine::Amd64 : PeMachine::Other;
    }
  }
  ::close(fd);
  return machine;
}

namespace {

// The full path of an executable regular file NAME in PATH; relative entries (the empty one is the
// current directory) are never searched.
std::string FindInPath(const std::string& name) {
  const std::string path = Env("PATH");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = path.substr(start, end - start);
    if (!dir.empty() && dir.front() == '/') {
      const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + name;
      struct stat st {};
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::string();
}

// exit(0) as a 32-bit x86 Linux program: the ELF header, one loadable segment (the whole file at
// 0x08048000, read and execute) and the code at 0x08048054: xor ebx,ebx; xor eax,eax; inc eax; int 0x80.
constexpr unsigned char kExit32[] = {
    0x7F, 'E',  'L',  'F',  1,    1,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0,     // ident
    2,    0,    3,    0,    1,    0,    0,    0,    0x54, 0x80, 0x04, 0x08,                          // EXEC, i386, entry
    0x34, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,                             // phoff, shoff, flags
    0x34, 0,    0x20, 0,    1,    0,    0x28, 0,    0,    0,    0,    0,                             // sizes, counts
    1,    0,    0,    0,    0,    0,    0,    0,    0x00, 0x80, 0x04, 0x08, 0x00, 0x80, 0x04, 0x08,  // PT_LOAD
    0x5B, 0,    0,    0,    0x5B, 0,    0,    0,    5,    0,    0,    0,    0,    0x10, 0,    0,     // sizes, R+X
    0x31, 0xDB, 0x31, 0xC0, 0x40, 0xCD, 0x80};
static_assert(sizeof kExit32 == 0x5B);

}  // namespace

std::string FindWine() { return FindInPath("wine"); }

bool CanRun32BitPrograms() {
  // The program lives in memory only; it is executed through a read-only descriptor of its own,
  // since a file still open for writing cannot be executed.
  static const bool answer = [] {
    const int memory = ::memfd_create("qelmora-32-bit-probe", MFD_CLOEXEC);
    if (memory < 0) return true;  // cannot ask: as if it could
    int image = -1;
    if (::write(memory, kExit32, sizeof kExit32) == static_cast<ssize_t>(sizeof kExit32)) {
      image = ::open(("/proc/self/fd/" + std::to_string(memory)).c_str(), O_RDONLY | O_CLOEXEC);
    }
    ::close(memory);
    if (image < 0) return true;
    const process::RunResult run = process::RunAndWait({"/proc/self/fd/" + std::to_string(image)}, {.timeoutMs = 10000});
    ::close(image);
    return run.startError != ENOEXEC;
  }();
  return answer;
}

Launcher LauncherFor(const std::string& program) {
  const std::string name = std::filesystem::path(program).filename().string();
  Launcher launcher{FindWine(), {}, ""};
  if (launcher.wine.empty()) {
    launcher.failure = Format("未找到 Wine，无法运行 Windows 程序 %s；请安装 wine", name.c_str());
    return launcher;
  }
  if (CanRun32BitPrograms()) return launcher;
  if (PeImageMachine(program) == PeMachine::I386) {
    launcher.failure = Format("%s 是 32 位的 Windows 程序，而这台计算机不能运行 32 位程序（系统内核不执行它们），"
                              "无法启动；请改用 64 位的 %s",
                              name.c_str(), name.c_str());
    return launcher;
  }
  std::string loader64 = FindInPath("wine64");
  if (loader64.empty() && ::access("/usr/lib/wine/wine64", X_OK) == 0) loader64 = "/usr/lib/wine/wine64";
  if (!loader64.empty()) launcher = {loader64, {"WINELOADER=" + loader64}, ""};
  return launcher;
}

std::string PrefixDirectory() {
  std::string prefix = Env("WINEPREFIX");
  if (prefix.empty()) {
    std::string home = freedesktop::HomeDirectory();
    if (home.back() == '/') home.pop_back();
    prefix = home + "/.wine";
  }
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

bool PrefixExists(const std::string& prefix) {
  struct stat st {};
  return ::stat((prefix + "/system.reg").c_str(), &st) == 0 && ::stat((prefix + "/user.reg").c_str(), &st) == 0;
}

TempDirectory QueryTempDirectory(const Launcher& launcher, int timeoutMs) {
  // GetTempPathA takes TMP first; every prefix that wineboot made defines it (with TEMP).
  const process::RunResult run =
      process::RunAndWait({launcher.wine, "cmd.exe", "/c", "winepath.exe", "-u", "%TMP%"},
                          {.captureOutput = true, .timeoutMs = timeoutMs}, launcher.environment);
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
