// Where the store of a run lies, the first use of the user's store, and the line of qelmora.conf
// that names the store.
#include <sstream>

#include "base/platform.h"
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

std::optional<std::string> StoreLocationInConfig(std::string content, const std::string& file) {
  // A byte-order mark that an editor wrote at the start is no part of the first line.
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
  std::istringstream in(content);
  const auto trim = [](const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
  };
  std::optional<std::string> location;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string text = trim(line);
    if (text.empty() || text[0] == '#') continue;
    const auto equals = text.find('=');
    if (equals == std::string::npos || trim(text.substr(0, equals)) != "store" || trim(text.substr(equals + 1)).empty()) {
      throw StoreError(Format("配置文件 %s 第 %d 行无法理解（应为 store = 连接串或目录）", file.c_str(), number));
    }
    location = trim(text.substr(equals + 1));
  }
  return location;
}
