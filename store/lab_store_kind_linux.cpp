// The lab store on a PostgreSQL server as a kind of store.
#include "store/lab_store_linux.h"
#include "store/store_kind.h"

namespace {

class LabStore final : public LabStoreKind {
 public:
  bool Recognises(const std::string& location) const override { return IsLabStoreLocation(location); }
  std::unique_ptr<ParameterStore> Open(const std::string& location) const override { return OpenLabStore(location); }

  std::string Init(const std::string& location) const override { return InitLabStore(location); }

  void AcceptsHistory() const override {}
  std::string CopyHistory(ParameterStore& to, ParameterStore& from) const override {
    return CopyHistoryToLabStore(to, from, from.Name());
  }
};

}  // namespace

const StoreKind* ServerStoreKind() {
  static const LabStore kind;
  return &kind;
}
