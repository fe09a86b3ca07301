// The system's texts for the HRESULTs of the store on Linux: those a Chinese Windows gives for the
// codes the store raises, so that ComErrorText reads the same on both platforms.
#include <cstdint>
#include <map>

#include "store/store.h"

std::optional<std::string> SystemMessageText(HResult hr) {
  static const std::map<std::uint32_t, const char*> kMessages = {
      {0x80004005u, "未指定的错误\r\n"}, {0x80004003u, "无效指针\r\n"},   {0x8007000Eu, "内存不足\r\n"},
      {0x80070057u, "参数错误\r\n"},     {0x80004001u, "未实现\r\n"},     {0x80070005u, "拒绝访问。\r\n"},
      {0x8000FFFFu, "灾难性故障\r\n"},
  };
  const auto found = kMessages.find(static_cast<std::uint32_t>(hr));
  if (found == kMessages.end()) return std::nullopt;
  return std::string(found->second);
}
