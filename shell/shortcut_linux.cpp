// The desktop shortcut on Linux: a desktop entry launcher "<baseName>.desktop" in the user's
// desktop directory.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/process_linux.h"
#include "shell/freedesktop_linux.h"
#include "shell/shortcut.h"

namespace fd = freedesktop;

namespace {

constexpr int kDesktopFolderFailed = 7;
constexpr int kSaveFailed = 4;
constexpr int kLauncherCannotStart = 3;

std::string LauncherText(const std::string& target, const std::string& workingDirectory,
                         const std::string& baseName) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" + fd::EscapeValue(baseName) + "\n" +
         "Exec=" + fd::ExecValue(target, false) + "\n" +
         "Path=" + fd::EscapeValue(workingDirectory) + "\n" +
         "Icon=" + fd::kIconName + "\n" +
         "Terminal=false\n";
}

// GNOME's desktop runs a launcher only when it is marked trusted. The mark is set with the desktop's
// own tool, which reaches the desktop's metadata store; where there is no such tool or store (a
// plain window manager) nothing is marked, and the launcher works there without it.
constexpr int kMarkTimeoutMs = 10000;

void MarkTrusted(const std::string& path) {
  process::RunAndWait({"gio", "set", path, "metadata::trusted", "true"}, {.timeoutMs = kMarkTimeoutMs});
}

// The launcher read back as the desktop reads it: GIO must load it (it refuses one that is not UTF-8
// or whose program does not exist) and its Exec must start exactly target.
bool LauncherStarts(const std::string& path, const std::string& target) {
  GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.c_str());
  if (info == nullptr) return false;
  const char* exec = g_app_info_get_commandline(G_APP_INFO(info));
  const std::vector<std::string> argv = fd::ExpandExecForFile(exec != nullptr ? exec : "", "");
  g_object_unref(info);
  return argv == std::vector<std::string>{target};
}

}  // namespace

void CreateDesktopShortcut(const std::string& target, const std::string& workingDirectory,
                           const std::string& baseName) {
  const std::string desktop = fd::DesktopDirectory();
  std::error_code ec;
  std::filesystem::create_directories(desktop, ec);
  if (!std::filesystem::is_directory(desktop, ec)) throw ShortcutError(kDesktopFolderFailed);

  // The launcher shows the program icon from the user's icon theme; without it the launcher
  // still works, so a failure here does not fail the command.
  fd::InstallIcon("apps", fd::kIconName);

  const std::string path = desktop + "/" + baseName + ".desktop";
  if (!fd::WriteFileAtomically(path, LauncherText(target, workingDirectory, baseName), 0755)) {
    throw ShortcutError(kSaveFailed);
  }
  if (!LauncherStarts(path, target)) throw ShortcutError(kLauncherCannotStart);
  MarkTrusted(path);
}
