// The import of a typical eleven-value model against one bare SQLCipher insert+commit of eleven
// bound texts into a table of the same shape, keyed alike, in the same directory.
//
// BM_ImportVsBareInsert times both in every iteration; its counters give the bare insert's time and
// the ratio import / bare insert (goal: at most 3). BM_WalkModelFile is the file side alone: the
// grammar re-reads the head of the file for every line, by design.
#include <sqlite3.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/globals.h"
#include "model/import.h"
#include "model/model_reader.h"
#include "store/store.h"
#include "tests/support/test_support.h"
#include "bench/bench_import_support.h"

namespace {

const std::vector<std::string> kValues = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
                                          "12.453",     "0.91027",  "0.10342",   "356.71",  "0.65318"};

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    throw std::runtime_error(std::string(what) + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  }
}

// A table1 of the store's shape in its own file, keyed with the store's key, default journal.
class BareTable {
 public:
  explicit BareTable(const std::string& file) {
    Check(sqlite3_open(file.c_str(), &m_db), m_db, "open");
    const std::string connection = ConnectionString("", "/");
    const std::string keyword = "Jet OLEDB:Database Password=";
    const std::size_t from = connection.find(keyword) + keyword.size();
    const std::string key = connection.substr(from, connection.find(';', from) - from);
    Check(sqlite3_key(m_db, key.data(), static_cast<int>(key.size())), m_db, "key");
    std::string sql = "CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT";
    std::string names, marks;
    for (const char* column : kParameterColumns) {
      sql += std::string(", \"") + column + "\" TEXT";
      names += std::string(names.empty() ? "" : ",") + "\"" + column + "\"";
      marks += marks.empty() ? "?" : ",?";
    }
    sql += ")";
    Check(sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr), m_db, "create");
    const std::string insert = "INSERT INTO table1 (" + names + ") VALUES (" + marks + ")";
    Check(sqlite3_prepare_v2(m_db, insert.c_str(), -1, &m_insert, nullptr), m_db, "prepare");
  }
  ~BareTable() {
    sqlite3_finalize(m_insert);
    sqlite3_close(m_db);
  }

  void Insert(const std::vector<std::string>& values) {
    Check(sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), m_db, "begin");
    for (std::size_t i = 0; i < values.size(); ++i) {
      sqlite3_bind_text(m_insert, static_cast<int>(i) + 1, values[i].data(), static_cast<int>(values[i].size()),
                        SQLITE_TRANSIENT);
    }
    Check(sqlite3_step(m_insert), m_db, "insert");
    sqlite3_reset(m_insert);
    Check(sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr), m_db, "commit");
  }

 private:
  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_insert = nullptr;
};

void BM_ImportVsBareInsert(benchmark::State& state) {
  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
  if (!OpenNewStore(state, dir)) return;
  const std::string model = (dir.Path() / "model.mdl").string();
  qtest::WriteFileBytes(model, qtest::ModelText(kValues));
  BareTable bare(dir.Dir() + "bare.db");

  using Clock = std::chrono::steady_clock;
  double importSeconds = 0;
  double bareSeconds = 0;
  for (auto _ : state) {
    const double importTime = TimedImport(model, boxes);
    const auto t1 = Clock::now();
    bare.Insert(kValues);
    const auto t2 = Clock::now();
    if (importTime < 0) {
      state.SkipWithError("the import failed");
      break;
    }
    importSeconds += importTime;
    bareSeconds += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(importTime);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["import_us"] = importSeconds / n * 1e6;
  state.counters["bare_insert_us"] = bareSeconds / n * 1e6;
  state.counters["ratio"] = bareSeconds > 0 ? importSeconds / bareSeconds : 0;
  CloseParameterStore();
}
BENCHMARK(BM_ImportVsBareInsert)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_WalkModelFile(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string model = (dir.Path() / "model.mdl").string();
  qtest::WriteFileBytes(model, qtest::ModelText(kValues));
  std::size_t pairs = 0;
  for (auto _ : state) {
    g_nModelReadPos = 0;
    WalkModelFile(model, [&](const std::string&, const std::string&) { ++pairs; });
  }
  benchmark::DoNotOptimize(pairs);
}
BENCHMARK(BM_WalkModelFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
