#include "app/main_dialog.h"
#include "handoff/handoff.h"

// "Transfer data": the current parameter set into the hand-off file, then the simulation program,
// then the dialog ends (the base OK action, not the import). Store failures after the recordset's
// Open propagate and end the command before anything is written or started.
void MainDialog::OnTransferData() {
  if (!PrepareDataSource()) return;

  // When the file cannot be written nothing is started and the dialog stays open so that the user can
  // try again.
  const std::optional<std::string> directory = SimulatorTempDirectory();
  if (!directory || !WriteCurrentSetToHandoffFile(*directory)) return;
  StartSimulator();
  EndDialogOk();
}
