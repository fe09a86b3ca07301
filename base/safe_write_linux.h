// The one way the Linux build writes a file: a new file is created exclusively beside the target
// (never an existing file, never through a link), written through its descriptor, synced, closed and
// renamed over the target's name. A reader sees the old file or the complete new one; a failure
// leaves the target as it was and no scratch file behind, and raises FileSystemError (base/afx.h).
// The new file is never reopened by name where another user could swap it: a library that takes
// nothing but a name gets the descriptor's name (DescriptorPath), or the file is made in a folder
// of its own that only this user can enter (privateDirectory). Scratch names fit the 255 bytes of a
// file name whatever the target's name.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "base/afx.h"

struct SafeWriteOptions {
  mode_t mode = 0600;    // the new file's permissions, as given (see CreationMode)
  bool replace = true;   // false: an existing name (even a dangling link) is left and EEXIST raised
  // true: the new file is made, under the target's own name, in a new folder beside the target that
  // only this user can enter; for a library that opens it by name and makes files of its own beside
  // it (SQLite's journal). The folder and whatever is left in it are removed at the end.
  bool privateDirectory = false;
};

// A new folder only this user can enter (mode 0700), made by mkdtemp from pattern (ending in
// "XXXXXX"); it is removed with all it holds when this goes, unless kept.
class PrivateDirectory {
 public:
  explicit PrivateDirectory(std::string pattern);  // throws FileSystemError (step create)
  ~PrivateDirectory();
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

  const std::string& path() const { return m_path; }  // no trailing separator
  void Keep() { m_kept = true; }

 private:
  std::string m_path;
  bool m_kept = false;
};

// mode less the process's umask: the permissions open(2) would give a file created with mode.
mode_t CreationMode(mode_t mode);

// Puts bytes in the place of path. Throws FileSystemError.
void WriteFileSafely(const std::string& path, std::string_view bytes, const SafeWriteOptions& options = {});

// The same for content that a library writes itself: fill is called with the descriptor of the new
// file and its name (for libraries that take nothing but a name, such as SQLite) and fills it; an
// exception from fill removes the new file and passes on.
void WriteFileSafelyWith(const std::string& path, const SafeWriteOptions& options,
                         const std::function<void(int fd, const std::string& scratchPath)>& fill);

// The name through which a library that opens files by name reaches an open descriptor: the same
// file, not a new lookup of its path.
std::string DescriptorPath(int fd);
