#include "base/afx.h"
#include "app/handoff_commands.h"
#include "app/main_dialog.h"
#include "handoff/handoff.h"
#include "store/store.h"

std::optional<std::string> WriteHandoffForCommand() {
  try {
    // Where the program looks is known before anything is read: a program that cannot run at all
    // reads and writes nothing.
    const std::string directory = SimulatorTempDirectory();
    return WriteCurrentSetToHandoffFile(TheParameterStore(), directory);
  } catch (const OperationError& e) {
    AfxMessageBox(e.what());
    return std::nullopt;
  }
}

bool StartSimulator() {
  try {
    StartSimulationProgram();
    return true;
  } catch (const OperationError& e) {
    DialogMessageBox(e.what(), "Notice", kMbOk);
    return false;
  }
}

// "Transfer data": the current parameter set into the hand-off file, then the simulation program,
// then the dialog ends (the base OK action, not the import). Store failures after the recordset's
// Open propagate and end the command before anything is written or started.
void MainDialog::OnTransferData() {
  if (!PrepareDataSource()) return;

  // When the file cannot be written nothing is started and the dialog stays open so that the user can
  // try again.
  if (!WriteHandoffForCommand()) return;
  StartSimulator();
  EndDialogOk();
}
