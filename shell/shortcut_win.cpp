// The desktop shortcut on Windows: a shell link saved as <base>.lnk in the user's desktop directory.
// Every failing step raises its own code; whatever was obtained is released and COM is uninitialised
// before it is raised.
#include "shell/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

#include "base/platform.h"

namespace {

// Desktop path + "\" + base + ".lnk" in a buffer of kMaxPath bytes. False when it does not fit.
bool ComposeLinkPath(char (&buffer)[kMaxPath], const char* desktop, const std::string& baseName) {
  const std::size_t length = std::strlen(desktop) + 1 + baseName.size() + 4;
  if (length + 1 > sizeof buffer || baseName.find('\0') != std::string::npos) return false;
  lstrcpyA(buffer, desktop);
  lstrcatA(buffer, "\\");
  lstrcatA(buffer, baseName.c_str());
  lstrcatA(buffer, ".lnk");
  return true;
}

}  // namespace

void CreateDesktopShortcut(const std::string& target, const std::string& workingDirectory,
                           const std::string& baseName) {
  // S_FALSE (already initialised on this thread) is a success and is balanced like S_OK.
  if (FAILED(CoInitialize(nullptr))) throw ShortcutError(1);

  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc)) || malloc == nullptr) {
    CoUninitialize();
    throw ShortcutError(8);
  }

  LPITEMIDLIST itemList = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &itemList)) || itemList == nullptr) {
    malloc->Release();
    CoUninitialize();
    throw ShortcutError(7);
  }

  char desktop[kMaxPath] = {};
  const BOOL havePath = SHGetPathFromIDListA(itemList, desktop);
  malloc->Free(itemList);
  malloc->Release();
  desktop[kMaxPath - 1] = '\0';
  if (!havePath) {
    CoUninitialize();
    throw ShortcutError(2);
  }

  // A shortcut path longer than the buffer is refused like a desktop path that cannot be had.
  char linkPath[kMaxPath];
  if (!ComposeLinkPath(linkPath, desktop, baseName)) {
    CoUninitialize();
    throw ShortcutError(2);
  }

  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))) ||
      link == nullptr) {
    CoUninitialize();
    throw ShortcutError(6);
  }

  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingDirectory.c_str());

  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) || file == nullptr) {
    link->Release();
    CoUninitialize();
    throw ShortcutError(5);
  }

  WCHAR widePath[kMaxPath] = {};
  const int converted = MultiByteToWideChar(CP_THREAD_ACP, MB_PRECOMPOSED, linkPath, -1, widePath, kMaxPath);
  // A path that does not convert is never handed on unterminated: the save then fails.
  const HRESULT saved = converted > 0 ? file->Save(widePath, TRUE) : E_INVALIDARG;

  file->Release();
  link->Release();
  CoUninitialize();
  if (FAILED(saved)) throw ShortcutError(4);
}
