#include "shell/shortcut.h"

#include "base/afx.h"
#include "base/platform.h"

ShortcutError::ShortcutError(int code)
    : OperationError(Format("error short cut=%d", code), FailureCause::Step(std::to_string(code))), m_code(code) {}

void CreateProgramShortcut(const std::string& target) {
  // A shortcut with an empty target would be saved and open nothing.
  if (target.empty()) throw ShortcutError(kShortcutNoTarget);
  const PathParts parts = SplitPath(target);
  const std::string link = Format("%s", target.c_str());
  const std::string workingDirectory = Format("%s%s", parts.drive.c_str(), parts.dir.c_str());
  CreateDesktopShortcut(link, workingDirectory, kShortcutBaseName);
}
