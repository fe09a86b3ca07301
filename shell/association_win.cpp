// The .mdl association on Windows: three default values under HKEY_CLASSES_ROOT, the check by
// opening ".mdl" for writing and reading the three values back, and the notices that tell the shell
// about the change.
#include "shell/association.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "base/platform.h"

namespace {

// Composes prefix + path + suffix in a buffer of kMaxPath bytes, terminator included. False when
// it does not fit: nothing is written past the buffer.
bool ComposeValue(char (&buffer)[kMaxPath], const char* prefix, const std::string& path, const char* suffix) {
  const std::size_t length = std::strlen(prefix) + path.size() + std::strlen(suffix);
  if (length + 1 > sizeof buffer || path.find('\0') != std::string::npos) return false;
  lstrcpyA(buffer, prefix);
  lstrcatA(buffer, path.c_str());
  lstrcatA(buffer, suffix);
  return true;
}

// Creates or opens the key and sets its default value. False when the key cannot be created or the
// value cannot be set.
bool SetDefaultValue(const char* subKey, DWORD type, const char* data, DWORD length) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CLASSES_ROOT, subKey, &key) != ERROR_SUCCESS) return false;
  const LONG set = RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(data), length);
  RegCloseKey(key);
  return set == ERROR_SUCCESS;
}

// Whether the key's default value is a text of the given type equal to expected.
bool DefaultValueIs(const char* subKey, DWORD type, const char* expected) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  char value[kMaxPath + 1] = {};
  DWORD size = kMaxPath;
  DWORD found = REG_NONE;
  const LONG read = RegQueryValueExA(key, nullptr, nullptr, &found, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return read == ERROR_SUCCESS && found == type && std::strcmp(value, expected) == 0;
}

constexpr char kTypeName[] = "mdlfile";
constexpr const char* kCommandPrefix = "\"";
constexpr const char* kCommandSuffix = "\"  \"%1\"";
constexpr const char* kIconSuffix = ",0";
constexpr const char* kCommandKey = "mdlfile\\shell\\open\\command";
constexpr const char* kIconKey = "mdlfile\\DefaultIcon";

// How long the broadcast waits for one window before it gives up on it.
constexpr UINT kBroadcastTimeoutMs = 3000;

}  // namespace

bool AssociationWriteType() {
  return SetDefaultValue(".mdl", REG_SZ, kTypeName, sizeof kTypeName);  // 8 bytes with the terminator
}

bool AssociationWriteOpenCommand(const std::string& exePath) {
  // The executable's path is quoted: unquoted, a path with blanks would make the shell try the
  // text before the first blank as the program.
  char command[kMaxPath];
  if (!ComposeValue(command, kCommandPrefix, exePath, kCommandSuffix)) return false;
  return SetDefaultValue(kCommandKey, REG_EXPAND_SZ, command,
                         static_cast<DWORD>(std::strlen(command) + 1));
}

bool AssociationWriteIcon(const std::string& exePath) {
  char icon[kMaxPath];
  if (!ComposeValue(icon, "", exePath, kIconSuffix)) return false;
  return SetDefaultValue(kIconKey, REG_EXPAND_SZ, icon, static_cast<DWORD>(std::strlen(icon) + 1));
}

bool AssociationCheck(const std::string& exePath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".mdl", 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  // A value that was never written (or another program's) fails the check: success only when the
  // three values are in place as this program writes them.
  char command[kMaxPath];
  char icon[kMaxPath];
  return ComposeValue(command, kCommandPrefix, exePath, kCommandSuffix) &&
         ComposeValue(icon, "", exePath, kIconSuffix) && DefaultValueIs(".mdl", REG_SZ, kTypeName) &&
         DefaultValueIs(kCommandKey, REG_EXPAND_SZ, command) &&
         DefaultValueIs(kIconKey, REG_EXPAND_SZ, icon);
}

void AssociationNotifyChanged() {
  // A timed broadcast that skips hung windows, so that one of them cannot freeze the dialog.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, &result);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
