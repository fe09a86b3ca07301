#include "shell/shortcut.h"

#include "base/afx.h"
#include "base/platform.h"

int MakeDesktopShortcut(const std::string& target) {
  // A shortcut with an empty target would be saved and open nothing.
  if (target.empty()) {
    DialogMessageBox(kProgramPathUnknownText, "error", kMbOk);
    return kShortcutNoTarget;
  }
  const PathParts parts = SplitPath(target);
  const std::string link = Format("%s", target.c_str());
  const std::string workingDirectory = Format("%s%s", parts.drive.c_str(), parts.dir.c_str());
  const int code = CreateDesktopShortcut(link, workingDirectory, kShortcutBaseName);
  if (code == 0) {
    DialogMessageBox("Succeed!", "information", kMbOk);
  } else {
    DialogMessageBox(Format("error short cut=%d", code), "error", kMbOk);
  }
  return code;
}
