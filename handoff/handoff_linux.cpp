// The hand-off file on Linux. The temporary directory is usually shared with every user of the
// machine, so the fixed name is never opened: a fresh file is created beside it (O_EXCL: a planted
// symbolic link or another user's file is never opened, let alone written through), filled,
// synced and closed, and then renamed over the name. The reader sees the old file or the complete
// new one, never a part of it.
#include <cerrno>
#include <cstring>

#include "base/afx.h"
#include "base/platform.h"
#include "base/safe_write_linux.h"
#include "handoff/handoff.h"

std::string HandoffFilePath(const std::string& directory) { return directory + kHandoffFileName; }

void WriteHandoffFile(const std::string& path, const HandoffBytes& bytes) {
  try {
    WriteFileSafely(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  } catch (const FileSystemError& e) {
    const char* reason = std::strerror(e.error());
    switch (e.step()) {
      case FileSystemError::Step::create:
        throw OperationError(Format("无法在目录 %s 中创建文件：%s", e.path().c_str(), reason));
      case FileSystemError::Step::write: throw OperationError(std::string("写入失败：") + reason);
      case FileSystemError::Step::rename: {
        std::string failure = Format("无法替换 %s：%s", path.c_str(), reason);
        if (e.error() == EPERM) failure += "（该名称已被其他用户的文件占用）";
        if (e.error() == EISDIR) failure += "（该名称是一个目录）";
        throw OperationError(failure);
      }
    }
    throw;
  }
}
