// The .mdl association for the current user by the freedesktop.org standards: a shared-mime-info
// package for the type (bind001), a desktop entry that opens it (bind002), the icon in the hicolor
// theme (bind003), and the entry made the type's default application through GIO (inqury001).
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/process_linux.h"
#include "shell/association.h"
#include "shell/freedesktop_linux.h"

namespace fd = freedesktop;

extern const char qelmora_mime_package[];

namespace {

std::string MimePackagePath() { return fd::DataHome() + "/mime/packages/qelmora-mdl.xml"; }
std::string DesktopEntryPath() { return fd::DataHome() + "/applications/" + fd::kDesktopId; }

// The shared-mime-info package of the type: packaging/qelmora-mdl.xml, the same file the Debian
// package installs system-wide, compiled in by shell/CMakeLists.txt.
std::string MimePackageText() { return qelmora_mime_package; }

// Whether an installed package put its own qelmora.desktop into a system data directory. The user's
// entry of the same name hides that one, so it must not hide the program from the menus then.
bool SystemEntryInstalled() {
  for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir) {
    const std::string path = std::string(*dir) + "/applications/" + fd::kDesktopId;
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return true;
  }
  return false;
}

std::string DesktopEntryText(const std::string& exePath) {
  return std::string("[Desktop Entry]\n") +
         "Type=Application\n"
         "Name=qelmora\n"
         "Exec=" + fd::ExecValue(exePath, true) + "\n" +
         "Icon=" + fd::kIconName + "\n" +
         "Terminal=false\n" +
         (SystemEntryInstalled() ? "" : "NoDisplay=true\n") +
         "MimeType=" + fd::kMdlMimeType + ";\n";
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

bool AssociationWriteType() {
  if (!fd::WriteFileAtomically(MimePackagePath(), MimePackageText(), 0644)) return false;
  return process::RunAndWait({"update-mime-database", fd::DataHome() + "/mime"}, {.quietErrors = false}).ran;
}

bool AssociationWriteOpenCommand(const std::string& exePath) {
  return fd::WriteFileAtomically(DesktopEntryPath(), DesktopEntryText(exePath), 0644);
}

bool AssociationWriteIcon(const std::string&) {
  // The program icon serves the entry and, as on Windows, the model files themselves.
  return fd::InstallIcon("apps", fd::kIconName) && fd::InstallIcon("mimetypes", fd::kMdlMimeIconName);
}

namespace {

// True when GIO names our entry file as the default application of the type.
bool OursIsDefault(const std::string& entryPath) {
  GAppInfo* current = g_app_info_get_default_for_type(fd::kMdlMimeType, FALSE);
  if (current == nullptr) return false;
  bool ours = G_IS_DESKTOP_APP_INFO(current) && g_strcmp0(g_app_info_get_id(current), fd::kDesktopId) == 0;
  if (ours) {
    const char* filename = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(current));
    ours = filename != nullptr && SameFile(filename, entryPath);
  }
  g_object_unref(current);
  return ours;
}

// True when the user's mimeapps.list already names our entry first as the type's default.
bool UserListNamesOurs() {
  GKeyFile* list = g_key_file_new();
  bool ours = false;
  const std::string path = fd::ConfigHome() + "/mimeapps.list";
  if (g_key_file_load_from_file(list, path.c_str(), G_KEY_FILE_NONE, nullptr)) {
    gchar** ids = g_key_file_get_string_list(list, "Default Applications", fd::kMdlMimeType, nullptr, nullptr);
    ours = ids != nullptr && ids[0] != nullptr && g_strcmp0(ids[0], fd::kDesktopId) == 0;
    g_strfreev(ids);
  }
  g_key_file_free(list);
  return ours;
}

}  // namespace

bool AssociationCheck(const std::string& exePath) {
  const std::string entryPath = DesktopEntryPath();

  // Make our entry the type's default (GIO writes mimeapps.list) unless the list already says so
  // and GIO agrees: setting it again would make GIO drop the type's added association, so a second
  // press would not leave the same file. GIO refuses an entry it cannot load, e.g. one whose
  // program does not exist.
  GDesktopAppInfo* ours = g_desktop_app_info_new(fd::kDesktopId);
  if (ours == nullptr) return false;
  bool set = true;
  if (!UserListNamesOurs() || !OursIsDefault(entryPath)) {
    GError* error = nullptr;
    set = g_app_info_set_as_default_for_type(G_APP_INFO(ours), fd::kMdlMimeType, &error);
    if (!set) g_error_free(error);
  }
  g_object_unref(ours);
  // Read it back: the default must be our file ...
  if (!set || !OursIsDefault(entryPath)) return false;

  // ... and that file, read afresh, must start exactly our program with the file.
  GDesktopAppInfo* fresh = g_desktop_app_info_new_from_filename(entryPath.c_str());
  if (fresh == nullptr) return false;
  const char* exec = g_app_info_get_commandline(G_APP_INFO(fresh));
  static const std::string kProbe = "/probe/a model.mdl";
  const std::vector<std::string> argv = fd::ExpandExecForFile(exec != nullptr ? exec : "", kProbe);
  g_object_unref(fresh);
  return argv == std::vector<std::string>{exePath, kProbe};
}

void AssociationNotifyChanged() {
  // Desktops that keep a MIME cache of the applications learn of the new handler; a failure does
  // not matter (GIO itself reads the entries directly).
  process::RunAndWait({"update-desktop-database", fd::DataHome() + "/applications"});
}
