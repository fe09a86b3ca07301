// Linux backend of the model file read: an exclusive, binary read of the head of the file.
//
// The Windows program opens the file without any sharing flag, so the open fails while another
// process holds it. Here the same exclusive use is an advisory lock (flock) taken right after the
// open: while another holder has the file locked, the open is refused as a sharing violation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/afx.h"
#include "model/model_reader.h"

namespace {

// Closes the descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

int ReadFailureCause(int err) {
  if (err == EIO) return FileException::hardIO;
  return FileCauseFromErrno(err);
}

}  // namespace

bool ReadModelFileHead(const std::string& path, std::size_t maxBytes, std::string* data, int* cause) {
  data->clear();
  *cause = FileException::none;

  // Without O_NONBLOCK the open of a named pipe waits for a writer, for ever if none comes; a
  // regular file reads the same either way.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    *cause = FileCauseFromErrno(errno);
    return false;
  }

  // A folder opens fine for reading on Linux; Windows refuses it with "access denied". So are pipes,
  // sockets and devices: a read from them may wait on another party without end.
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    *cause = FileCauseFromErrno(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *cause = FileException::accessDenied;
    return false;
  }

  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    *cause = (errno == EWOULDBLOCK) ? FileException::sharingViolation : FileCauseFromErrno(errno);
    return false;
  }

  data->resize(maxBytes);
  std::size_t total = 0;
  while (total < maxBytes) {
    const ssize_t got = ::read(fd.get(), data->data() + total, maxBytes - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      data->clear();
      throw FileException(err == EISDIR ? FileException::accessDenied : ReadFailureCause(err), path, err);
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  data->resize(total);
  // Closing the descriptor releases the lock.
  return true;
}
