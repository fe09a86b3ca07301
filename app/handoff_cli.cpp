// qelmora-cli handoff [--no-launch]: the hand-off file from the current parameter set, and the start
// of the simulation program beside this program. Exit status: 0 done; 1 the store or the file
// failed, or the program cannot be run at all (no wine for a Windows program; nothing written or
// started), or the file was written but the program could not be started; 2 bad arguments.
#include <cstdio>

#include "app/cli.h"
#include "app/handoff_commands.h"
#include "store/store.h"

int CliHandoff(const CliContext& context, const std::vector<std::string>& args) {
  bool launch = true;
  for (const std::string& arg : args) {
    if (arg == "--no-launch" && launch) {
      launch = false;
    } else {
      CliUsage();
      return 2;
    }
  }

  if (!CliOpenStore(context)) return 1;
  const std::optional<std::string> path = WriteHandoffForCommand();
  CloseParameterStore();
  if (!path) return 1;
  std::printf("%s\n", path->c_str());
  std::fflush(stdout);

  if (launch && !StartSimulator()) return 1;
  return 0;
}
