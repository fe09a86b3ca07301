#include "app/afx.h"
#include "app/main_dialog.h"
#include "app/platform.h"
#include "handoff/handoff.h"
#include "store/store.h"

// "Transfer data": the current parameter set into the hand-off file, then the simulation program,
// then the dialog ends (the base OK action, not the import). Store failures after the recordset's
// Open propagate and end the command before anything is written or started.
void MainDialog::OnTransferData() {
  if (!PrepareDataSource()) return;

  // Leaves the recordset open: the program ends right after a transfer.
  const ParameterSet parameters = ReadCurrentParameterSet();
  const HandoffBytes bytes = EncodeHandoff(parameters);

  const std::string path = HandoffFilePath();
  const std::string reason = WriteHandoffFile(path, bytes);
  if (!reason.empty()) {
    // Nothing started; the dialog stays open so that the user can try again.
    AfxMessageBox(HandoffWriteFailureText(path, reason));
    return;
  }

  if (!ThePlatform().StartProgram(SimulatorProgramPath(), SimulatorWorkingDirectory())) {
    DialogMessageBox("To be updated!", "Notice", kMbOk);
  }
  EndDialogOk();
}
