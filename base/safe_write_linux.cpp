#include "base/safe_write_linux.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

namespace {

// "." + name + ".XXXXXX" beside the target, name cut (at a character boundary of UTF-8) so that the
// whole fits a file name of NAME_MAX bytes.
std::string ScratchPattern(const std::string& dir, const std::string& name) {
  constexpr std::size_t kAdded = 1 + 7;  // "." and ".XXXXXX"
  std::size_t keep = std::min(name.size(), std::size_t{NAME_MAX} - kAdded);
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return dir + "." + name.substr(0, keep) + ".XXXXXX";
}

// Gives a scratch file back to the file system unless it was put in place.
class ScratchFile {
 public:
  ScratchFile(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}
  ~ScratchFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_kept) ::unlink(m_path.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  int fd() const { return m_fd; }
  const std::string& path() const { return m_path; }
  void Close() {
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) throw FileSystemError(FileSystemError::Step::write, m_path, errno);
  }
  void Keep() { m_kept = true; }

 private:
  std::string m_path;
  int m_fd;
  bool m_kept = false;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw FileSystemError(FileSystemError::Step::write, path, n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
}

// Moves the scratch file to the target's name; without replace only while the name is free.
void PutInPlace(const std::string& scratch, const std::string& path, bool replace) {
  if (replace) {
    // rename(2) replaces a link at the target itself, never the file it points to.
    if (::rename(scratch.c_str(), path.c_str()) != 0) throw FileSystemError(FileSystemError::Step::rename, path, errno);
    return;
  }
  if (::renameat2(AT_FDCWD, scratch.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return;
  const int err = errno;
  if (err != EINVAL && err != ENOSYS) throw FileSystemError(FileSystemError::Step::rename, path, err);
  // No exclusive rename on this file system: a hard link is refused in the same way.
  if (::link(scratch.c_str(), path.c_str()) != 0) throw FileSystemError(FileSystemError::Step::rename, path, errno);
  ::unlink(scratch.c_str());
}

}  // namespace

PrivateDirectory::PrivateDirectory(std::string pattern) : m_path(std::move(pattern)) {
  if (::mkdtemp(m_path.data()) == nullptr) {
    const int err = errno;
    const std::size_t slash = m_path.rfind('/');
    throw FileSystemError(FileSystemError::Step::create, slash == std::string::npos ? "." : m_path.substr(0, slash + 1), err);
  }
}

PrivateDirectory::~PrivateDirectory() {
  if (m_kept) return;
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);  // links inside are removed, never followed
}

mode_t CreationMode(mode_t mode) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mode & ~mask;
}

std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void WriteFileSafelyWith(const std::string& path, const SafeWriteOptions& options,
                         const std::function<void(int fd, const std::string& scratchPath)>& fill) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

  std::optional<PrivateDirectory> folder;
  std::string scratchPath = ScratchPattern(dir, name);
  int fd = -1;
  if (options.privateDirectory) {
    folder.emplace(scratchPath);
    scratchPath = folder->path() + "/" + name;
    fd = ::open(scratchPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw FileSystemError(FileSystemError::Step::create, folder->path(), errno);
  } else {
    fd = ::mkostemp(scratchPath.data(), O_CLOEXEC);  // O_CREAT | O_EXCL, mode 0600
    if (fd < 0) throw FileSystemError(FileSystemError::Step::create, dir.empty() ? "." : dir, errno);
  }
  ScratchFile scratch(scratchPath, fd);

  if (options.mode != 0600 && ::fchmod(fd, options.mode) != 0) {
    throw FileSystemError(FileSystemError::Step::write, scratch.path(), errno);
  }
  fill(fd, scratch.path());
  if (::fsync(fd) != 0) throw FileSystemError(FileSystemError::Step::write, scratch.path(), errno);
  scratch.Close();
  PutInPlace(scratch.path(), path, options.replace);
  scratch.Keep();
}

void WriteFileSafely(const std::string& path, std::string_view bytes, const SafeWriteOptions& options) {
  WriteFileSafelyWith(path, options, [bytes](int fd, const std::string& scratchPath) { WriteAll(fd, bytes, scratchPath); });
}
