#include "store/store.h"

#include <cstdint>
#include <utility>

#include "app/platform.h"

const std::array<const char*, kParameterCount> kParameterColumns = {
    "L0", "R0", "R1", "CPE1-T", "CPE1-P", "R2", "CPE2-T", "CPE2-P", "R3", "CPE3-T", "CPE3-P",
};

const std::array<const char*, kProvenanceCount> kProvenanceColumns = {"imported_at", "source"};

ComPtr<Connection> g_pConnection;
ComPtr<Recordset> g_pRecordset;

namespace {

bool g_bStoreConnected = false;
std::string g_strStoreFile;  // the Data Source of the last OpenParameterStore

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
    for (const char c : path + "dravo.mdb") {
      if (c == '"') quoted += '"';
      quoted += c;
    }
    quoted += '"';
    return Format(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s;Persist Security Info=False;"
        "Jet OLEDB:Database Password=582046",
        quoted.c_str());
  }
  return Format(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s%sdravo.mdb;Persist Security Info=False;"
      "Jet OLEDB:Database Password=582046",
      drive.c_str(), dir.c_str());
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

void OpenParameterStore(const std::string& drive, const std::string& dir) {
  const std::string connectionString = ConnectionString(drive, dir);
  g_strStoreFile = ConnectionStringProperty(connectionString, kSourceKeyword).value_or("");
  ThePlatform().OleInit();

  g_pConnection.Release();
  g_pConnection = CreateConnectionObject();
  g_pRecordset.Release();
  g_pRecordset = CreateRecordsetObject();

  g_bStoreConnected = false;
  try {
    g_pConnection->Open(connectionString, "", "", 0);
    g_bStoreConnected = true;
  } catch (const ComError& e) {
    // A store refused for its schema is named, with what was found in it (the backend's text).
    const std::string text =
        e.Error() == kHrStoreSchema && !e.Description().empty() ? e.Description() : ComErrorText(e.Error());
    AfxMessageBox(Format("连接数据库失败!\r\n错误信息：%s", text.c_str()), kMbOk);
  }
}

bool ParameterStoreConnected() { return g_bStoreConnected; }

std::string ParameterStoreFile() { return g_strStoreFile; }

void CloseParameterStore() { g_pConnection->Close(); }

void OpenTableRecordset() {
  // Dereferencing the connection pointer raises E_POINTER when it is empty, so an empty pointer
  // never becomes the active connection.
  Connection& connection = *g_pConnection;
  g_pRecordset->Open(kTableQuery, connection, adOpenDynamic, adLockOptimistic, adCmdText);
}

ParameterSet ReadCurrentParameterSet() {
  try {
    OpenTableRecordset();
  } catch (const ComError& e) {
    AfxMessageBox(ComErrorText(e.Error()), kMbOk);
  }

  long steps = 0;
  while (!g_pRecordset->GetEOF()) {
    g_pRecordset->MoveNext();
    ++steps;
  }
  if (steps > 0) g_pRecordset->MovePrevious();

  ParameterSet values;
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    const FieldValue value = g_pRecordset->GetCollect(kParameterColumns[i]);
    if (value) values[i] = *value;
  }
  return values;
}

Provenance ReadCurrentProvenance() {
  Provenance provenance;
  for (std::size_t i = 0; i < kProvenanceCount; ++i) {
    try {
      provenance[i] = g_pRecordset->GetCollect(kProvenanceColumns[i]).value_or("");
    } catch (const ComError& e) {
      if (e.Error() != kHrItemNotFound) throw;
    }
  }
  return provenance;
}

void CloseTableRecordsetQuietly() {
  try {
    g_pRecordset->Close();
  } catch (const ComError&) {
  }
}

void ReadHistory(const std::function<void(const HistoryRow&)>& visit) {
  OpenTableRecordset();
  try {
    HistoryRow row;
    // Whether table1 has the provenance columns shows at the first row that asks for them.
    std::array<bool, kProvenanceCount> present;
    present.fill(true);
    while (!g_pRecordset->GetEOF()) {
      for (std::size_t i = 0; i < kParameterCount; ++i) {
        row.parameters[i] = g_pRecordset->GetCollect(kParameterColumns[i]).value_or("");
      }
      for (std::size_t i = 0; i < kProvenanceCount; ++i) {
        row.provenance[i].clear();
        if (!present[i]) continue;
        try {
          row.provenance[i] = g_pRecordset->GetCollect(kProvenanceColumns[i]).value_or("");
        } catch (const ComError& e) {
          if (e.Error() != kHrItemNotFound) throw;
          present[i] = false;
        }
      }
      visit(row);
      g_pRecordset->MoveNext();
    }
  } catch (...) {
    CloseTableRecordsetQuietly();
    throw;
  }
  g_pRecordset->Close();
}

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
