#include "base/afx.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "app/shell_commands.h"
#include "shell/shortcut.h"

int MakeDesktopShortcut(const std::string& target) {
  try {
    CreateProgramShortcut(target);
  } catch (const ShortcutError& e) {
    DialogMessageBox(e.Code() == kShortcutNoTarget ? kProgramPathUnknownText : e.what(), "error", kMbOk);
    return e.Code();
  }
  DialogMessageBox("Succeed!", "information", kMbOk);
  return 0;
}

// "shortcut": a desktop shortcut "qelmora" to the running program, in the program's directory.
void MainDialog::OnShortcut() { MakeDesktopShortcut(ThePlatform().ModuleFileName()); }
