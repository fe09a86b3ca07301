#include "app/main_dialog.h"

// "Associate mdl" is not available yet.
void MainDialog::OnAssociateMdl() { AfxMessageBox("此功能尚未提供。"); }
