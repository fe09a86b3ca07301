// The desktop shortcut "qelmora" to the program, with the program directory as working directory.
#pragma once

#include <string>

#include "base/errors.h"

inline constexpr const char* kShortcutBaseName = "qelmora";

// A step of the shortcut that failed: what() is "error short cut=N" with the step's code N: 1
// CoInitialize, 8 SHGetMalloc, 7 the desktop folder, 2 its path, 6 the link object, 5 IPersistFile, 4
// the save; on Linux 3: the launcher written cannot start the target (GIO does not load it, or its
// Exec names another program); kShortcutNoTarget: the program's path is not known.
class ShortcutError : public OperationError {
 public:
  explicit ShortcutError(int code);
  int Code() const noexcept { return m_code; }

 private:
  int m_code;
};
inline constexpr int kShortcutNoTarget = 9;

// Backend (shortcut_linux.cpp: a .desktop launcher; shortcut_win.cpp: a shell link). Raises
// ShortcutError with the code of the failing step.
void CreateDesktopShortcut(const std::string& target, const std::string& workingDirectory,
                           const std::string& baseName);

// The shortcut kShortcutBaseName to the program at target, with target's drive and directory as
// working directory. Raises ShortcutError.
void CreateProgramShortcut(const std::string& target);
