#include "app/main_dialog.h"

// "OpenExcel" is not available yet.
void MainDialog::OnOpenExcel() { AfxMessageBox("此功能尚未提供。"); }
