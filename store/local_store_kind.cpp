// The store file "dravo.mdb" in a folder (SQLCipher on Linux, ADO over Jet on Windows).
#include "base/afx.h"
#include "store/store.h"
#include "store/store_kind.h"

namespace {

class LocalStore final : public StoreKind {
 public:
  bool Recognises(const std::string&) const override { return true; }

  std::unique_ptr<ParameterStore> Open(const std::string& location) const override {
    return OpenStoreFileIn(location);
  }

  std::string Init(const std::string& location) const override {
    CreateParameterStore(location);
    return Format("已创建数据库：%s%s", location.c_str(), kStoreFileName);
  }

  std::string Backup(const std::string& location, const std::string& target) const override {
    BackupParameterStore(location, target);
    return Format("已备份参数数据库：%s%s → %s", location.c_str(), kStoreFileName, target.c_str());
  }
};

}  // namespace

const StoreKind& LocalStoreKind() {
  static const LocalStore kind;
  return kind;
}
