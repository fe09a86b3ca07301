// The .mdl association for the current user by the freedesktop.org standards: a shared-mime-info
// package for the type (bind001), a desktop entry that opens it (bind002), the icon in the hicolor
// theme (bind003), and the entry made the type's default application through GIO (inqury001).
#include <dirent.h>
#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/process_linux.h"
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

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The names of the entries of the open folder dir (which stays open).
std::vector<std::string> EntryNames(int dir) {
  std::vector<std::string> names;
  const int copy = ::dup(dir);
  DIR* stream = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (stream == nullptr) {
    if (copy >= 0) ::close(copy);
    return names;
  }
  while (const dirent* entry = ::readdir(stream)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(stream);
  return names;
}

bool RemoveEntry(int dir, const std::string& name) { return ::unlinkat(dir, name.c_str(), 0) == 0 || errno == ENOENT; }

// update-mime-database writes each of its files under the final name with ".new" added, in the mime
// folder and in the folder of each media type, opened by name without refusing an existing file or
// a link, and then renames it into place. A symbolic or hard link that another program planted at
// such a name would have it write into the file the link reaches, and a media type folder that is a
// link would have it write into another folder. So before it runs every "*.new" name there is
// removed, and every link in the place of a media type folder: they only ever hold its own
// temporary files. False when one of them cannot be removed (a folder of that name, say).
bool RemovePlantedMimeFiles(const std::string& mimeFolder) {
  const int top = ::open(mimeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (top < 0) return false;
  bool removed = true;
  for (const std::string& name : EntryNames(top)) {
    struct stat st {};
    if (::fstatat(top, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (name == "packages") continue;  // the packages it reads, ours among them
    struct stat target {};
    const bool linkedFolder = S_ISLNK(st.st_mode) && ::fstatat(top, name.c_str(), &target, 0) == 0 &&
                              S_ISDIR(target.st_mode);
    if (EndsWith(name, ".new") || linkedFolder) {
      removed = RemoveEntry(top, name) && removed;
    } else if (S_ISDIR(st.st_mode)) {
      const int media = ::openat(top, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (media < 0) {
        removed = false;
        continue;
      }
      for (const std::string& file : EntryNames(media)) {
        if (EndsWith(file, ".new")) removed = RemoveEntry(media, file) && removed;
      }
      ::close(media);
    }
  }
  ::close(top);
  return removed;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

bool AssociationWriteType() {
  if (!fd::WriteFileAtomically(MimePackagePath(), MimePackageText(), 0644)) return false;
  const std::string mimeFolder = fd::DataHome() + "/mime";
  if (!RemovePlantedMimeFiles(mimeFolder)) return false;
  return process::RunAndWait({"update-mime-database", mimeFolder}, {.quietErrors = false}).ran;
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
