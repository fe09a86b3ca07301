#include "app/run_store.h"

#include "base/afx.h"
#include "store/store.h"

std::string StoreConnectFailureText(const StoreError& error) {
  return Format("连接数据库失败!\r\n错误信息：%s", error.what());
}

void OpenParameterStore(const std::string& location) {
  try {
    OpenRunStore(location);
    // What the store has to say once open: imports sent from the outbox, a server away for now.
    const std::string notice = TheParameterStore().TakeNotice();
    if (!notice.empty()) AfxMessageBox(notice);
  } catch (const StoreError& e) {
    AfxMessageBox(StoreConnectFailureText(e), kMbOk);
  }
}

void CreateUserStoreShown(const std::string& directory) {
  try {
    if (const std::optional<std::string> created = CreateUserStoreOnFirstUse(directory)) AfxMessageBox(*created);
  } catch (const OperationError& e) {
    AfxMessageBox(e.what());
  }
}
