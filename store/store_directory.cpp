// Where the store of a run lies, and the first use of the user's store.
#include "app/platform.h"
#include "store/store.h"
#include "store/store_location.h"

std::string StoreDirectory() { return DataDirectory(kStoreFileName); }

std::optional<std::string> CreateUserStoreOnFirstUse(const std::string& directory) {
  if (directory == ProgramDirectory() || ThePlatform().Exists(directory + kStoreFileName)) return std::nullopt;
  try {
    CreateParameterStore(directory);
  } catch (const OperationError&) {
    // Another run of the program may have made it in the meantime: then it is simply there.
    if (ThePlatform().Exists(directory + kStoreFileName)) return std::nullopt;
    throw;
  }
  return "已创建新的参数数据库：" + directory + kStoreFileName;
}

std::string StoreLocationOf(const std::string& text) {
  if (text.empty() || IsServerStoreLocation(text) || text.back() == kPathSeparator) return text;
  return text + kPathSeparator;
}
