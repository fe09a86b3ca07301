// qelmora-cli [--store DIR] COMMAND [ARGS...]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/afx.h"
#include "app/cli.h"
#include "base/platform.h"
#include "app/run_store.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

// Runs a command. Its messages go to standard error (the default message boxes print there), so
// that standard output carries its results alone; results that could not all be written are a failure.
int RunCommand(const CliCommand& command, const CliContext& context, const std::vector<std::string>& args) {
  int status = 1;
  try {
    status = command.run(context, args);
  } catch (const FileException& e) {
    std::fprintf(stderr, "%s\n", e.ReportText().c_str());
  } catch (const ComError& e) {
    std::fprintf(stderr, "%s\n", ComErrorText(e.Error()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("无法写入标准输出\n", stderr);
    if (status == 0) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    CliUsage(stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("qelmora-cli %s\n", QELMORA_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  CliContext context;
  context.userStore = true;
  std::size_t i = 0;
  if (i < args.size() && args[i] == "--store") {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      CliUsage();
      return 2;
    }
    context.storeDir = args[i + 1];
    context.userStore = false;
    i += 2;
  }
  if (i >= args.size()) {
    CliUsage();
    return 2;
  }
  if (context.userStore) {
    // The store of a run that names none: the one the configuration names, else the local store;
    // init-store makes the portable one beside a program run from its own folder, and the user's
    // store for an installed program (as the dialog does), never one that would override every user's.
    std::optional<std::string> configured;
    try {
      configured = ConfiguredStoreLocation();
    } catch (const StoreError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
    }
    if (configured) {
      context.storeDir = *configured;
      context.userStore = false;
    } else {
      context.storeDir = args[i] == "init-store" && !ProgramIsInstalled() ? ProgramDirectory() : StoreDirectory();
    }
  }
  context.storeDir = StoreLocationOf(context.storeDir);
  const std::string name = args[i];
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  for (const CliCommand& command : CliCommands()) {
    if (name == command.name) return RunCommand(command, context, rest);
  }
  std::fprintf(stderr, "未知命令：%s\n", name.c_str());
  CliUsage();
  return 2;
}
