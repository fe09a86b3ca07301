// The Windows program reads no configuration and knows no store on a server.
#include "store/store_location.h"

std::optional<std::string> ConfiguredStoreLocation() { return std::nullopt; }

bool IsServerStoreLocation(const std::string&) { return false; }

std::unique_ptr<ParameterStore> OpenServerStore(const std::string&) { throw StoreError("不支持的数据库位置"); }

std::string InitServerStore(const std::string&) { throw StoreError("不支持的数据库位置"); }

std::string CopyHistoryToServerStore(ParameterStore&, ParameterStore&) { throw StoreError("不支持的数据库位置"); }

void KeepImportsWhenAway(bool) {}

std::string SendWaitingImports(const std::string&) { throw StoreError("不支持的数据库位置"); }

std::vector<std::array<std::string, 4>> WaitingImportList() { return {}; }
