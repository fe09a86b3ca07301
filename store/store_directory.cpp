// Where the store of a run lies, and the first use of the user's store.
#include "app/platform.h"
#include "store/store.h"

std::string StoreDirectory() { return DataDirectory(kStoreFileName); }

std::string CreateUserStoreOnFirstUse(const std::string& directory) {
  if (directory == ProgramDirectory() || ThePlatform().Exists(directory + kStoreFileName)) return {};
  const std::string failure = CreateParameterStore(directory);
  // Another run of the program may have made it in the meantime: then it is simply there.
  if (!failure.empty() && ThePlatform().Exists(directory + kStoreFileName)) return {};
  if (!failure.empty()) return failure;
  return "已创建新的参数数据库：" + directory + kStoreFileName;
}
