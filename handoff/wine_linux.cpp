#include "handoff/wine_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/afx.h"
#include "app/process_linux.h"
#include "shell/freedesktop_linux.h"

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

TempDirectory QueryTempDirectory(const std::string& winePath, int timeoutMs) {
  // GetTempPathA takes TMP first; every prefix that wineboot made defines it (with TEMP).
  const process::RunResult run = process::RunAndWait({winePath, "cmd.exe", "/c", "winepath.exe", "-u", "%TMP%"},
                                                    {.captureOutput = true, .timeoutMs = timeoutMs});
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
