// On Linux the configuration file may name the store, and a store on a server is the lab store.
#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/afx.h"
#include "shell/freedesktop_linux.h"
#include "store/lab_store_linux.h"
#include "store/store_location.h"

std::optional<std::string> ConfiguredStoreLocation() {
  const std::string file = freedesktop::ConfigHome() + "/qelmora/qelmora.conf";
  std::ifstream in(file);
  if (!in) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw StoreError("无法读取配置文件 " + file + "：" + std::strerror(errno));
  }
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
  if (in.bad()) throw StoreError("无法读取配置文件 " + file);
  return location;
}

bool IsServerStoreLocation(const std::string& location) { return IsLabStoreLocation(location); }

std::unique_ptr<ParameterStore> OpenServerStore(const std::string& location) { return OpenLabStore(location); }

std::string InitServerStore(const std::string& location) { return InitLabStore(location); }

std::string CopyHistoryToServerStore(ParameterStore& to, ParameterStore& from) {
  return CopyHistoryToLabStore(to, from, from.Name());
}
