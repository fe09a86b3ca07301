// The desktop shortcut "qelmora" to the program, with the program directory as working directory.
#pragma once

#include <string>

inline constexpr const char* kShortcutBaseName = "qelmora";

// Backend (shortcut_linux.cpp: a .desktop launcher; shortcut_win.cpp: a shell link). Returns 0 on
// success, else the code of the failing step: 1 CoInitialize, 8 SHGetMalloc, 7 the desktop folder,
// 2 its path, 6 the link object, 5 IPersistFile, 4 the save; on Linux 3: the launcher written cannot
// start target (GIO does not load it, or its Exec names another program).
int CreateDesktopShortcut(const std::string& target, const std::string& workingDirectory,
                          const std::string& baseName);

// The whole command for the program at target: the shortcut kShortcutBaseName with target's drive
// and directory as working directory, then "Succeed!" (caption "information") or "error short
// cut=N" (caption "error") owned by the main dialog. Returns the backend's code.
// An empty target (the program's path is not known) is refused with kProgramPathUnknownText
// (caption "error") and gives kShortcutNoTarget; nothing is created.
int MakeDesktopShortcut(const std::string& target);
inline constexpr int kShortcutNoTarget = 9;
