// The one way the Linux build writes a file: a new file is created exclusively beside the target
// (never an existing file, never through a link), written through its descriptor, synced, closed and
// renamed over the target's name. A reader sees the old file or the complete new one; a failure
// leaves the target as it was and no scratch file behind, and raises FileSystemError (app/afx.h).
// The new file is never reopened by name, except by a library that takes nothing but a name.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "app/afx.h"

struct SafeWriteOptions {
  mode_t mode = 0600;    // the new file's permissions, as given (see CreationMode)
  bool replace = true;   // false: an existing name (even a dangling link) is left and EEXIST raised
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
