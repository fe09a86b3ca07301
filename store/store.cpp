#include "store/store.h"

#include <cstdint>
#include <utility>

#include "base/platform.h"

const std::array<const char*, kProvenanceCount> kProvenanceColumns = {"imported_at", "source"};

namespace {

// The run's store, while open. It is let go by CloseParameterStore, never at exit: a run that ends
// through "OpenExcel" or "Transfer data" leaves the connection to the backend's own objects.
std::unique_ptr<ParameterStore>& RunStore() {
  static auto* store = new std::unique_ptr<ParameterStore>;
  return *store;
}
std::string g_storeFailure;  // why the last OpenRunStore did not open it

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string ConnectionString(const std::string& drive, const std::string& dir) {
  // A directory with a semicolon (or one that begins with a quote or a blank, which a bare value loses)
  // would end the value early or name another file: such a value goes in double quotes, inner quotes
  // doubled, as OLE DB reads it.
  const std::string path = drive + dir;
  if (path.find(';') != std::string::npos ||
      (!path.empty() && (path[0] == '"' || path[0] == '\'' || path[0] == ' ' || path[0] == '\t'))) {
    std::string quoted = "\"";
    for (const char c : path + kStoreFileName) {
      if (c == '"') quoted += '"';
      quoted += c;
    }
    quoted += '"';
    return Format("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s;Persist Security Info=False;"
                  "Jet OLEDB:Database Password=%s",
                  quoted.c_str(), kStoreKey);
  }
  return Format("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s%s%s;Persist Security Info=False;"
                "Jet OLEDB:Database Password=%s",
                drive.c_str(), dir.c_str(), kStoreFileName, kStoreKey);
}

std::optional<std::string> ConnectionStringProperty(const std::string& connectionString,
                                                    const std::string& keyword) {
  const std::string& s = connectionString;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t equals = s.find('=', pos);
    if (equals == std::string::npos) break;
    const std::size_t semicolon = s.find(';', pos);
    if (semicolon < equals) {  // a part without '=': skip it
      pos = semicolon + 1;
      continue;
    }
    const std::string name = Trim(s.substr(pos, equals - pos));
    std::size_t at = s.find_first_not_of(" \t", equals + 1);
    std::string value;
    if (at != std::string::npos && (s[at] == '"' || s[at] == '\'')) {
      // A quoted value; the quote character doubled stands for itself.
      const char quote = s[at++];
      while (at < s.size()) {
        if (s[at] == quote) {
          if (at + 1 < s.size() && s[at + 1] == quote) {
            value += quote;
            at += 2;
            continue;
          }
          ++at;
          break;
        }
        value += s[at++];
      }
      const std::size_t end = s.find(';', at);
      pos = end == std::string::npos ? s.size() : end + 1;
    } else {
      const std::size_t end = s.find(';', equals + 1);
      value = Trim(s.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1));
      pos = end == std::string::npos ? s.size() : end + 1;
    }
    if (EqualsNoCase(name, keyword)) return value;
  }
  return std::nullopt;
}

void OpenRunStore(const std::string& location) {
  ThePlatform().OleInit();
  RunStore().reset();
  g_storeFailure.clear();
  try {
    RunStore() = OpenParameterStoreAt(location);
  } catch (const StoreError& e) {
    g_storeFailure = e.what();
    throw;
  }
}

bool ParameterStoreConnected() { return RunStore() != nullptr; }

ParameterStore& TheParameterStore() {
  if (RunStore()) return *RunStore();
  if (ParameterStore* unopened = UnopenedParameterStore()) return *unopened;
  if (g_storeFailure.empty()) throw StoreError("参数数据库未打开，命令未执行。");
  throw StoreError(Format("参数数据库未打开（%s），命令未执行。", g_storeFailure.c_str()));
}

void CloseParameterStore() noexcept { RunStore().reset(); }

std::string ComErrorText(HResult hr) {
  if (std::optional<std::string> system = SystemMessageText(hr)) {
    std::string text = std::move(*system);
    if (text.size() > 1 && text.back() == '\n') {
      text.pop_back();
      if (!text.empty() && text.back() == '\r') text.pop_back();
    }
    return text;
  }
  const auto code = static_cast<std::uint32_t>(hr);
  if (hr >= MakeHResult(0x80040200) && hr <= MakeHResult(0x8004FFFF) && ((code - 0x200u) & 0xFFFFu) != 0) {
    return Format("IDispatch error #%d", static_cast<int>(code - 0x80040200u));
  }
  return Format("Unknown error 0x%0lX", static_cast<unsigned long>(code));
}
