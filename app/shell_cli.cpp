#include "app/cli.h"
#include "shell/association.h"
#include "shell/shortcut.h"

// Both commands act for the dialog program that lies beside the tool, never for the tool itself.

int CliAssociate(const CliContext&, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  return AssociateMdl() == 1 ? 0 : 1;
}

int CliShortcut(const CliContext&, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  return MakeDesktopShortcut(AssociationTargetPath()) == 0 ? 0 : 1;
}
