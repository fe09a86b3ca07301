// The desktop shortcut on Linux: a desktop entry launcher "<baseName>.desktop" in the user's
// desktop directory.
#include <gio/gio.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "shell/freedesktop_linux.h"
#include "shell/shortcut.h"

namespace fd = freedesktop;

namespace {

constexpr int kDesktopFolderFailed = 7;
constexpr int kSaveFailed = 4;

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

// GNOME's desktop runs a launcher only when it is marked trusted; where the file system keeps no
// such metadata the mark is simply not set.
void MarkTrusted(const std::string& path) {
  GFile* file = g_file_new_for_path(path.c_str());
  g_file_set_attribute_string(file, "metadata::trusted", "true", G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
  g_object_unref(file);
}

}  // namespace

int CreateDesktopShortcut(const std::string& target, const std::string& workingDirectory,
                          const std::string& baseName) {
  const std::string desktop = fd::DesktopDirectory();
  std::error_code ec;
  std::filesystem::create_directories(desktop, ec);
  if (!std::filesystem::is_directory(desktop, ec)) return kDesktopFolderFailed;

  // The launcher shows the program icon from the user's icon theme; without it the launcher
  // still works, so a failure here does not fail the command.
  fd::InstallIcon("apps", fd::kIconName);

  const std::string path = desktop + "/" + baseName + ".desktop";
  if (!fd::WriteFileAtomically(path, LauncherText(target, workingDirectory, baseName), 0755)) return kSaveFailed;
  MarkTrusted(path);
  return 0;
}
