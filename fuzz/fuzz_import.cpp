// The whole import under arbitrary model files, into a real SQLCipher store in a scratch directory
// (created once per process). After each input table1 has gained no row or exactly one; a row is
// saved exactly when the in-memory reading of the grammar finds an element and every column it
// yields is one of the eleven, and the saved row holds exactly the values that reading gives (the
// later of a repeated column), the other columns NULL. The store is read back over a connection
// of its own, not through the program's recordset. Every few hundred inputs the database must pass
// PRAGMA integrity_check, and the table is emptied so that the walk to its end stays short.
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/afx.h"
#include "app/globals.h"
#include "app/import_command.h"
#include "app/run_store.h"
#include "fuzz/fuzz_common.h"
#include "fuzz/model_grammar.h"
#include "store/store.h"

using fuzzsupport::Check;
using fuzzsupport::Escape;
using fuzzsupport::Fail;

namespace {

constexpr int kCheckEvery = 256;

class Reader {
 public:
  explicit Reader(const std::string& dir) {
    const std::string connection = ConnectionString("", dir);
    const std::string file = ConnectionStringProperty(connection, "Data Source").value_or("");
    const std::string key = ConnectionStringProperty(connection, "Jet OLEDB:Database Password").value_or("");
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) Fail("cannot open " + file);
    if (sqlite3_key(m_db, key.data(), static_cast<int>(key.size())) != SQLITE_OK) Fail("cannot key " + file);
    sqlite3_busy_timeout(m_db, 5000);
  }
  ~Reader() { sqlite3_close_v2(m_db); }

  std::int64_t Count() {
    std::int64_t count = -1;
    Query("SELECT count(*) FROM table1", [&](sqlite3_stmt* s) { count = sqlite3_column_int64(s, 0); });
    return count;
  }

  std::array<std::optional<std::string>, kParameterCount> LastRow() {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      sql += std::string(i ? ", \"" : "\"") + kParameterColumns[i] + "\"";
    }
    sql += " FROM table1 ORDER BY rowid DESC LIMIT 1";
    std::array<std::optional<std::string>, kParameterCount> row;
    Query(sql, [&](sqlite3_stmt* s) {
      for (std::size_t i = 0; i < kParameterCount; ++i) {
        const int c = static_cast<int>(i);
        if (sqlite3_column_type(s, c) == SQLITE_NULL) continue;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        row[i] = std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
      }
    });
    return row;
  }

  void CheckIntegrity() {
    std::string result;
    Query("PRAGMA integrity_check", [&](sqlite3_stmt* s) {
      result += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    });
    Check(result == "ok", "integrity_check: " + result);
  }

  void Empty() {
    char* message = nullptr;
    if (sqlite3_exec(m_db, "DELETE FROM table1", nullptr, nullptr, &message) != SQLITE_OK) {
      Fail(std::string("cannot empty table1: ") + (message ? message : "?"));
    }
  }

 private:
  template <class F>
  void Query(const std::string& sql, F&& onRow) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) Fail("prepare: " + sql);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) onRow(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) Fail("query: " + sql + ": " + sqlite3_errmsg(m_db));
  }

  sqlite3* m_db = nullptr;
};

struct Fixture {
  std::string dir = fuzzsupport::ScratchDirectory();
  std::string model = dir + "input.mdl";
  Reader* reader = nullptr;
  long inputs = 0;

  Fixture() {
    try {
      CreateParameterStore(dir);
    } catch (const OperationError& e) {
      Fail(std::string("cannot create the store: ") + e.what());
    }
    AfxSetMessageBoxes(&boxes);
    OpenParameterStore(dir);
    Check(ParameterStoreConnected(), "the store did not open");
    reader = new Reader(dir);
  }
  fuzzsupport::RecordingBoxes boxes;
};

// The row the grammar says the import saves, or nullopt when it saves none.
std::optional<std::array<std::optional<std::string>, kParameterCount>> ExpectedRow(const fuzzref::Walk& walk) {
  // No element, a cut block, a value that is no number, or no value at all: nothing is saved.
  if (walk.fault != 0 || walk.pairs.empty()) return std::nullopt;
  std::array<std::optional<std::string>, kParameterCount> row;
  for (const auto& pair : walk.pairs) {
    const std::string& column = pair.first;
    const auto at = std::find_if(kParameterColumns.begin(), kParameterColumns.end(),
                                 [&](const char* name) { return column == name; });
    if (at == kParameterColumns.end()) return std::nullopt;  // a name without its column
    row[static_cast<std::size_t>(at - kParameterColumns.begin())] = pair.second;
  }
  return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  AfxSetMessageBoxes(&fixture.boxes);
  fixture.boxes.texts.clear();

  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzzsupport::WriteFile(fixture.model, bytes);
  const std::int64_t before = fixture.reader->Count();

  bool saved = false;
  for (int attempt = 0;; ++attempt) {
    fixture.boxes.texts.clear();
    try {
      saved = RunImport(fixture.model);
      break;
    } catch (const FileException& e) {
      // The failed read drops the pending row: table1 is as before, and the input can be tried again.
      if (e.m_cause == FileException::sharingViolation && fuzzsupport::WaitOutForeignLock(fixture.model, attempt)) {
        Check(fixture.reader->Count() == before, "a failed read left a row behind");
        continue;
      }
      Fail("the import failed to read a readable file: " + std::string(e.what()));
    } catch (const StoreError& e) {
      Fail("a store failure escaped the import: " + std::string(e.what()));
    }
  }

  const auto expected = ExpectedRow(fuzzref::WalkBytes(bytes));
  const std::int64_t after = fixture.reader->Count();
  const std::string shown = Escape(bytes.substr(0, 300));
  Check(saved == expected.has_value(), "the import " + std::string(saved ? "saved" : "did not save") +
                                           " a row against the grammar for " + shown);
  Check(after == before + (saved ? 1 : 0), "table1 went from " + std::to_string(before) + " to " +
                                               std::to_string(after) + " rows for " + shown);
  if (saved) {
    Check(fixture.boxes.texts == std::vector<std::string>{"插入成功!"}, "the success message is missing");
    Check(fixture.reader->LastRow() == *expected, "the saved row differs from the grammar for " + shown);
  } else {
    Check(!fixture.boxes.texts.empty(), "an import that saved nothing said nothing");
    for (const std::string& text : fixture.boxes.texts) Check(text != "插入成功!", "success shown without a row");
  }

  // The store is usable again: the next command can start a row.
  try {
    TheParameterStore().StartRow()->Drop();
  } catch (const StoreError& e) {
    Fail("the store was left unusable: " + std::string(e.what()));
  }

  if (++fixture.inputs % kCheckEvery == 0) {
    fixture.reader->CheckIntegrity();
    fixture.reader->Empty();
  }
  AfxSetMessageBoxes(nullptr);
  return 0;
}
