// On Linux the configuration file may name the store, and a store on a server is the lab store.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "app/afx.h"
#include "shell/freedesktop_linux.h"
#include "store/store_location.h"

namespace {

// The whole configuration file, or nullopt when there is none. Opened as the model reader opens
// files: a named pipe, a device or a folder there is refused rather than waited on.
std::optional<std::string> ReadConfigFile(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw StoreError("无法读取配置文件 " + file + "：" + std::strerror(errno));
  }
  std::string text;
  struct stat info {};
  int error = ::fstat(fd, &info) != 0 ? errno : 0;
  if (error == 0 && !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw StoreError("无法读取配置文件 " + file + "：它不是普通文件");
  }
  char buffer[4096];
  for (ssize_t n = 0; error == 0 && (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n > 0)
      text.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR)
      error = errno;
  }
  ::close(fd);
  if (error != 0) throw StoreError("无法读取配置文件 " + file + "：" + std::strerror(error));
  return text;
}

}  // namespace

std::optional<std::string> ConfiguredStoreLocation() {
  const std::string file = freedesktop::ConfigHome() + "/qelmora/qelmora.conf";
  std::optional<std::string> content = ReadConfigFile(file);
  if (!content) return std::nullopt;
  // A byte-order mark that an editor wrote at the start is no part of the first line.
  if (content->rfind("\xEF\xBB\xBF", 0) == 0) content->erase(0, 3);
  std::istringstream in(*content);
  const auto trim = [](const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
  };
  std::optional<std::string> location;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string text = trim(line);
    if (text.empty() || text[0] == '#') continue;
    const auto equals = text.find('=');
    if (equals == std::string::npos || trim(text.substr(0, equals)) != "store" || trim(text.substr(equals + 1)).empty()) {
      throw StoreError(Format("配置文件 %s 第 %d 行无法理解（应为 store = 连接串或目录）", file.c_str(), number));
    }
    location = trim(text.substr(equals + 1));
  }
  return location;
}
