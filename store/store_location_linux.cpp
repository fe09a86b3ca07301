// On Linux the configuration file may name the store, and a store on a server is the lab store.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/afx.h"
#include "base/xdg_linux.h"
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
  const std::optional<std::string> content = ReadConfigFile(file);
  if (!content) return std::nullopt;
  return StoreLocationInConfig(*content, file);
}
