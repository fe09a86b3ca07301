// The registry of store kinds, and what every kind shares.
#include <array>

#include "store/store.h"
#include "store/store_kind.h"
#include "store/store_location.h"

namespace {

// Asked in this order: a server's location first, the folder of a store file (which takes any
// location) last.
std::array<const StoreKind*, 2> Registry() { return {ServerStoreKind(), &LocalStoreKind()}; }

}  // namespace

void StoreKind::AcceptsHistory() const {
  throw OperationError("copy-history 的目标须是实验室数据库：--store postgresql://… 或 --store service=…");
}

std::string StoreKind::CopyHistory(ParameterStore&, ParameterStore&) const {
  AcceptsHistory();
  return {};
}

std::string LabStoreKind::Backup(const std::string&, const std::string&) const {
  throw OperationError("backup 只复制本机的参数数据库；实验室数据库由其服务器备份（pg_dump）");
}

const StoreKind& StoreKindOf(const std::string& location) {
  for (const StoreKind* kind : Registry()) {
    if (kind != nullptr && kind->Recognises(location)) return *kind;
  }
  return LocalStoreKind();
}

bool IsServerStoreLocation(const std::string& location) { return StoreKindOf(location).OnServer(); }

std::unique_ptr<ParameterStore> OpenParameterStoreAt(const std::string& location) {
  return StoreKindOf(location).Open(location);
}
