#include "app/main_dialog.h"

// "Transfer data" is not available yet.
void MainDialog::OnTransferData() { AfxMessageBox("此功能尚未提供。"); }
