#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/afx.h"
#include "instrument/measured_data.h"

// The program's texts are UTF-8.
std::string ProgramTextFromUtf8(const std::string& text) { return text; }

// The file is mapped, not copied: what the readers keep is the points, not the bytes. The open does
// not wait (a named pipe would wait for a writer for ever) and only a regular file is read.
void UseDataFileBytes(const std::string& path, std::size_t maxBytes, const std::function<void(std::string_view)>& use) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw OperationError(std::string("无法打开文件（") + std::strerror(errno) + "）");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) throw OperationError(std::string("无法读取文件（") + std::strerror(errno) + "）");
  if (!S_ISREG(info.st_mode)) throw OperationError("不是普通文件（目录、管道或设备）");
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size > maxBytes) throw OperationError("文件大于 256 MB，不是阻抗谱数据");
  if (size == 0) return use({});
  void* const base = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (base == MAP_FAILED) throw OperationError(std::string("无法读取文件（") + std::strerror(errno) + "）");
  struct Unmapper {
    void* base;
    std::size_t size;
    ~Unmapper() { ::munmap(base, size); }
  } unmapper{base, size};
  ::madvise(base, size, MADV_SEQUENTIAL);
  use(std::string_view(static_cast<const char*>(base), size));
}
