#include "app/main_dialog.h"
#include "base/platform.h"
#include "shell/shortcut.h"

// "shortcut": a desktop shortcut "qelmora" to the running program, in the program's directory.
void MainDialog::OnShortcut() { MakeDesktopShortcut(ThePlatform().ModuleFileName()); }
