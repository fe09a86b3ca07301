#include "app/cli.h"
#include "app/shell_commands.h"
#include "shell/association.h"

// Both commands act for the dialog program that lies beside the tool, never for the tool itself.

int CliAssociate(const CliContext&, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  return AssociateMdl() ? 0 : 1;
}

int CliShortcut(const CliContext&, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  return MakeDesktopShortcut(AssociationTargetPath()) == 0 ? 0 : 1;
}
