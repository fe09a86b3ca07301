#include "app/main_dialog.h"

// "shortcut" is not available yet.
void MainDialog::OnShortcut() { AfxMessageBox("此功能尚未提供。"); }
