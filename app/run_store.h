// The run's store as the commands open it: the dialog at start-up, each command of qelmora-cli.
#pragma once

#include <string>

class StoreError;

// What the user is told when the run's store cannot be opened: "连接数据库失败!\r\n错误信息：" and
// the store's text.
std::string StoreConnectFailureText(const StoreError& error);

// OpenRunStore, and what the opened store has to say (TakeNotice) or its failure shown with
// AfxMessageBox; the run goes on without a store.
void OpenParameterStore(const std::string& location);

// CreateUserStoreOnFirstUse, with what happened (the new store, or why there is none) shown with
// AfxMessageBox; nothing is shown when there was nothing to do.
void CreateUserStoreShown(const std::string& directory);
