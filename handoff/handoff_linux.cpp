// The hand-off file on Linux. The temporary directory is usually shared with every user of the
// machine, so the fixed name is never opened: a fresh file is created beside it (O_EXCL: a planted
// symbolic link or another user's file is never opened, let alone written through), filled,
// synced and closed, and then renamed over the name. The reader sees the old file or the complete
// new one, never a part of it.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/afx.h"
#include "app/platform.h"
#include "handoff/handoff.h"

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, int& err) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) {
      err = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string HandoffFilePath(const std::string& directory) { return directory + kHandoffFileName; }

std::string WriteHandoffFile(const std::string& path, const HandoffBytes& bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

  std::string temporary = dir + "." + name + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // O_CREAT | O_EXCL, mode 0600
  if (fd < 0) {
    const int err = errno;
    return Format("无法在目录 %s 中创建文件：%s", dir.empty() ? "." : dir.c_str(), ErrnoText(err).c_str());
  }

  int err = 0;
  std::string failure;
  if (!WriteAll(fd, bytes.data(), bytes.size(), err)) {
    failure = "写入失败：" + ErrnoText(err);
  } else if (::fsync(fd) != 0) {
    failure = "写入失败：" + ErrnoText(errno);
  }
  if (::close(fd) != 0 && failure.empty()) failure = "写入失败：" + ErrnoText(errno);

  if (failure.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
    err = errno;
    failure = Format("无法替换 %s：%s", path.c_str(), ErrnoText(err).c_str());
    if (err == EPERM) failure += "（该名称已被其他用户的文件占用）";
    if (err == EISDIR) failure += "（该名称是一个目录）";
  }
  if (!failure.empty()) ::unlink(temporary.c_str());
  return failure;
}
