#include "app/main_dialog.h"
#include "shell/association.h"

// "Associate mdl": registers the running program as the handler of .mdl files and reports the outcome.
void MainDialog::OnAssociateMdl() { AssociateMdl(); }
