// qelmora-cli --store LOCATION copy-history DIR: the rows of the local store in DIR into the store on
// a server, with their import time and source.
#include <cstdio>

#include "app/cli.h"
#include "base/platform.h"
#include "store/store.h"
#include "store/store_kind.h"

int CliCopyHistory(const CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty()) {
    CliUsage();
    return 2;
  }
  const StoreKind& target = StoreKindOf(context.storeDir);
  target.AcceptsHistory();  // a refusal is reported by the dispatcher
  std::string directory = args[0];
  if (directory.back() != kPathSeparator) directory += kPathSeparator;
  // The local store first: when it cannot be opened, the server is not touched.
  const std::unique_ptr<ParameterStore> local = LocalStoreKind().Open(directory);
  if (!CliOpenStore(context)) return 1;
  struct CloseAtEnd {
    ~CloseAtEnd() { CloseParameterStore(); }
  } closeAtEnd;
  // Failures raise StoreError, which the dispatcher reports; nothing was copied then.
  std::fprintf(stderr, "%s\n", target.CopyHistory(TheParameterStore(), *local).c_str());
  return 0;
}
