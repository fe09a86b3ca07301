// Reading the current parameter set from large tables, in process and as `qelmora-cli report --csv`
// (one process per report) against the same on a store of one row; a bare SQLCipher step loop over
// the whole table for scale; the history workbook (history --xlsx) over the same tables, and side by
// side with the CSV history as one process each.
//
//   bench_store [--benchmark_filter=...]
//
// Counters: ratio (the report on 10^6 rows / the report on one row, measured alternately in the same
// iterations), peak_rss_MB (the process's peak resident set during the timed iterations, with the
// peak reset before them: flat memory shows as the same figure for 10^5 and 10^6 rows).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "history/history_xlsx.h"
#include "app/run_store.h"
#include "store/store.h"
#include "tests/support/test_support.h"

namespace {

std::string StoreKey() { return kStoreKey; }

// Resets the process's peak resident set (VmHWM) to the current one.
void ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

// The peak resident set in kB (VmHWM).
double PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6));
  }
  return 0;
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

sqlite3* OpenKeyed(const std::string& path) {
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
  const std::string key = StoreKey();
  Check(sqlite3_key(db, key.data(), static_cast<int>(key.size())), db, "key");
  return db;
}

// A store with `rows` rows of eleven number texts, built once per size (one transaction).
struct BigStore {
  qtest::TempDir dir;
  std::string path;
};

// quality: each parameter's standard error too (about 1 % of its value), and the rows in three
// folders, as a lab's history of three cells.
BigStore& StoreWithRows(long rows, bool quality = false) {
  static std::map<std::pair<long, bool>, std::unique_ptr<BigStore>> stores;
  auto& slot = stores[{rows, quality}];
  if (slot) return *slot;
  slot = std::make_unique<BigStore>();
  CreateParameterStore(slot->dir.Dir());  // raises OperationError when it cannot
  slot->path = slot->dir.Dir() + kStoreFileName;

  sqlite3* db = OpenKeyed(slot->path);
  std::string sql = "INSERT INTO table1 (";
  for (std::size_t i = 0; i < kParameterCount; ++i) sql += std::string(i ? "," : "") + '"' + kParameterColumns[i] + '"';
  for (const char* column : kProvenanceColumns) sql += std::string(",\"") + column + '"';
  for (std::size_t i = kQualityFirstSe; quality && i < kQualityCount; ++i) sql += std::string(",\"") + kQualityColumns[i] + '"';
  sql += ") VALUES (?";
  const std::size_t columns = std::size_t{kParameterCount} + kProvenanceCount + (quality ? std::size_t{kParameterCount} : 0);
  for (std::size_t i = 1; i < columns; ++i) sql += ",?";
  sql += ")";
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr), db, "prepare");
  char value[32];
  for (long row = 0; row < rows; ++row) {
    for (int column = 0; column < static_cast<int>(kParameterCount); ++column) {
      std::snprintf(value, sizeof value, "%.9E", (row + 1) * 1.000001e-6 * (column + 1));
      sqlite3_bind_text(insert, column + 1, value, -1, SQLITE_TRANSIENT);
    }
    std::snprintf(value, sizeof value, "2026-%02ld-%02ldT12:00:00Z", row / 28 % 12 + 1, row % 28 + 1);
    sqlite3_bind_text(insert, kParameterCount + 1, value, -1, SQLITE_TRANSIENT);
    const std::string source = quality ? "/home/user/fits/cell" + std::to_string(row % 3) + "/run " + std::to_string(row) + ".mdl"
                                       : "/home/user/fits/cell " + std::to_string(row) + ".mdl";
    sqlite3_bind_text(insert, kParameterCount + 2, source.c_str(), -1, SQLITE_TRANSIENT);
    for (int column = 0; quality && column < static_cast<int>(kParameterCount); ++column) {
      std::snprintf(value, sizeof value, "%.4E", (row + 1) * 1.000001e-8 * (column + 1));
      sqlite3_bind_text(insert, static_cast<int>(std::size_t{kParameterCount} + kProvenanceCount) + column + 1, value, -1, SQLITE_TRANSIENT);
    }
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  return *slot;
}

// The bare loop: SELECT * FROM table1 stepped to its end on a keyed connection of its own.
long BareStepLoop(sqlite3* db) {
  sqlite3_stmt* select = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT * FROM table1", -1, &select, nullptr), db, "prepare");
  long rows = 0;
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) ++rows;
  Check(rc, db, "step");
  sqlite3_finalize(select);
  return rows;
}

StoredRow ReadCurrentOnce() { return TheParameterStore().ReadCurrent(); }

void BM_ReadCurrent(benchmark::State& state) {
  BigStore& store = StoreWithRows(state.range(0));
  qtest::ScriptedMessageBoxes boxes;
  OpenParameterStore(store.dir.Dir());
  ReadCurrentOnce();  // warm the file cache
  ResetPeakRss();
  for (auto _ : state) benchmark::DoNotOptimize(ReadCurrentOnce());
  state.counters["peak_rss_MB"] = PeakRssKb() / 1024.0;
  CloseParameterStore();
  if (!boxes.Texts().empty()) state.SkipWithError(boxes.Texts().front().c_str());
}

void BM_BareSelectStepLoop(benchmark::State& state) {
  BigStore& store = StoreWithRows(state.range(0));
  sqlite3* db = OpenKeyed(store.path);
  BareStepLoop(db);
  ResetPeakRss();
  for (auto _ : state) benchmark::DoNotOptimize(BareStepLoop(db));
  state.counters["peak_rss_MB"] = PeakRssKb() / 1024.0;
  sqlite3_close(db);
}

// One `qelmora-cli report --csv` process on the store; its output is dropped.
double ReportProcessSeconds(const BigStore& store) {
  const std::string command = "'" QELMORA_CLI "' --store '" + store.dir.Dir() + "' report --csv >/dev/null";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) throw std::runtime_error("report --csv failed on " + store.path);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The report on 10^6 rows and on one row, alternately in every iteration, so that both see the same
// machine state; the reported time is the large store's.
void BM_ReportCsvMillionRowsVsOne(benchmark::State& state) {
  BigStore& big = StoreWithRows(state.range(0));
  BigStore& one = StoreWithRows(1);
  ReportProcessSeconds(big);
  ReportProcessSeconds(one);
  double bigSeconds = 0;
  double oneSeconds = 0;
  for (auto _ : state) {
    const double seconds = ReportProcessSeconds(big);
    bigSeconds += seconds;
    oneSeconds += ReportProcessSeconds(one);
    state.SetIterationTime(seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["one_row_ms"] = oneSeconds / n * 1e3;
  state.counters["ratio"] = oneSeconds > 0 ? bigSeconds / oneSeconds : 0;
}

// history --xlsx: the whole table into a new workbook, replaced in every iteration. Flat memory shows
// as the same peak for 10^4 and 10^5 rows.
void BM_HistoryWorkbook(benchmark::State& state) {
  BigStore& store = StoreWithRows(state.range(0));
  qtest::ScriptedMessageBoxes boxes;
  OpenParameterStore(store.dir.Dir());
  const std::string target = store.dir.Dir() + "history.xlsx";
  ResetPeakRss();
  for (auto _ : state) benchmark::DoNotOptimize(SaveHistoryWorkbook(target));
  state.counters["peak_rss_MB"] = PeakRssKb() / 1024.0;
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.range(0)) * state.iterations(),
                                                benchmark::Counter::kIsRate);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(target)) / (1024.0 * 1024.0);
  CloseParameterStore();
}

// One qelmora-cli process on the store: its wall time and peak resident set (getrusage of the child).
struct ChildRun {
  double seconds;
  double peakRssMb;
};

ChildRun RunCli(const BigStore& store, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {QELMORA_CLI, "--store", store.dir.Dir()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(QELMORA_CLI, pointers.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("qelmora-cli history failed on " + store.path);
  }
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss / 1024.0};
}

// history --xlsx against history (CSV) of the same store of three interleaved series with standard
// errors, one process each, alternately in every iteration; the reported time is the workbook's.
// ratio = workbook / CSV; peak RSS of each child: flat memory shows as the same figure for 10^5 and
// 10^6 rows.
void BM_HistoryWorkbookVsCsv(benchmark::State& state) {
  BigStore& store = StoreWithRows(state.range(0), true);
  const std::string target = store.dir.Dir() + "history.xlsx";
  double csv = 0, xlsx = 0, csvRss = 0, xlsxRss = 0;
  for (auto _ : state) {
    const ChildRun table = RunCli(store, {"history"});
    const ChildRun book = RunCli(store, {"history", "--xlsx", target, "--force"});
    csv += table.seconds;
    xlsx += book.seconds;
    csvRss = std::max(csvRss, table.peakRssMb);
    xlsxRss = std::max(xlsxRss, book.peakRssMb);
    state.SetIterationTime(book.seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["csv_s"] = csv / n;
  state.counters["xlsx_s"] = xlsx / n;
  state.counters["ratio"] = csv > 0 ? xlsx / csv : 0;
  state.counters["csv_peak_rss_MB"] = csvRss;
  state.counters["xlsx_peak_rss_MB"] = xlsxRss;
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(target)) / (1024.0 * 1024.0);
}

BENCHMARK(BM_ReadCurrent)->Arg(1)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareSelectStepLoop)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportCsvMillionRowsVsOne)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_HistoryWorkbook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryWorkbookVsCsv)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
