#include "base/afx.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "app/shell_commands.h"
#include "shell/association.h"

namespace {

constexpr const char* kErrorCaption = "错误提示";

}  // namespace

void ShowAssociationStepFailure(const AssociationError& error) {
  OwnerlessMessageBox(error.what(), kErrorCaption, kMbOk);
}

bool AssociateMdl() {
  // An open command and an icon without the program's path would point at nothing.
  if (AssociationTargetPath().empty()) {
    DialogMessageBox(kProgramPathUnknownText, kErrorCaption, kMbOk);
    return false;
  }
  try {
    RegisterMdlFileType();
  } catch (const AssociationError& e) {
    ShowAssociationStepFailure(e);
  }
  // The outcome is decided by the check alone, whatever the registration reported.
  try {
    CheckMdlFileType();
  } catch (const AssociationError& e) {
    ShowAssociationStepFailure(e);
    DialogMessageBox(AssociationError("whole001").what(), kErrorCaption, kMbOk);
    return false;
  }
  DialogMessageBox("文件关联设置成功!", "信息提示", kMbOk);
  AssociationNotifyChanged();
  return true;
}

// "Associate mdl": registers the running program as the handler of .mdl files and reports the outcome.
void MainDialog::OnAssociateMdl() { AssociateMdl(); }
