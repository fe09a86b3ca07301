// The lab store on a PostgreSQL server of its own (scripts/lab-server.sh, durable: fsync on),
// reached through its unix socket.
//
//   bench_lab_store [--benchmark_filter=...]
//
// BM_ImportProcess: one `qelmora-cli import` process against lab_bare_insert (connect, one INSERT,
// exit), alternately; counter ratio (goal at most 1.3). BM_SixteenImporters: 16 processes of 200
// imports each at once, each of its own model files; counters rows_per_s, rows (exactly 3,200). BM_History: `qelmora-cli history`
// against psql's \copy of the same rows as CSV; counters ratio (goal at most 1.5) and the tool's
// peak_rss_MB (flat: the same at 10^5 and 10^6 rows). BM_CurrentSet: ReadCurrent at 10^6 rows
// (goal under 5 ms).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "store/lab_store_linux.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::string> kValues = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
                                          "12.453",     "0.91027",  "0.10342",   "356.71",  "0.65318"};

// The benchmark's server, started once and stopped at exit.
class Server {
 public:
  Server() {
    const std::string state = m_dir.Dir() + "server";
    if (Run({QELMORA_LAB_SERVER_SCRIPT, "up", state, "--durable"}).status != 0) return;
    std::ifstream in(state);
    std::getline(in, m_top);
    m_state = state;
    try {
      InitLabStore(Location());
      m_ready = true;
    } catch (const StoreError&) {
    }
  }
  ~Server() {
    if (!m_state.empty()) Run({QELMORA_LAB_SERVER_SCRIPT, "down", m_state});
  }
  bool Ready() const { return m_ready; }
  std::string Location() const { return "postgresql:///lab?host=" + m_top + "/sock&user=postgres"; }
  std::string Socket() const { return m_top + "/sock"; }
  const qtest::TempDir& Dir() const { return m_dir; }

  struct Outcome {
    int status = -1;
    double seconds = 0;
    double peakRssMb = 0;
  };

  // Runs a program to its end with its output thrown away: its exit status, time and peak memory.
  static Outcome Run(const std::vector<std::string>& args, const char* output = "/dev/null") {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Outcome outcome;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      rusage usage{};
      wait4(pid, &status, 0, &usage);
      outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      outcome.peakRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return outcome;
  }

  std::string Psql(const std::string& sql) const {
    const std::string out = m_dir.Dir() + "psql.out";
    Run({"psql", "-X", "-A", "-t", "-q", "-h", Socket(), "-U", "postgres", "-d", "lab", "-c", sql}, out.c_str());
    std::ifstream in(out);
    std::string text;
    std::getline(in, text);
    return text;
  }

  // Fills table1 to `rows` rows, one in ten of this workstation.
  void FillTo(long rows) {
    const long have = std::stol(Psql("SELECT count(*) FROM qelmora.table1"));
    if (have >= rows) return;
    std::string columns, values;
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      columns += std::string(i ? ", " : "") + "\"" + kParameterColumns[i] + "\"";
      values += (i ? ", '" : "'") + kValues[i] + "' || n";
    }
    Psql("INSERT INTO qelmora.table1 (" + columns + ", source, workstation) SELECT " + values +
         ", '/data/cell ' || n || '.mdl', CASE WHEN n % 10 = 0 THEN '" + WorkstationName() +
         "' ELSE 'w' || n % 7 || '@lab' END FROM generate_series(" + std::to_string(have + 1) + ", " +
         std::to_string(rows) + ") n");
    Psql("VACUUM ANALYZE qelmora.table1");
  }

 private:
  qtest::TempDir m_dir;
  std::string m_top, m_state;
  bool m_ready = false;
};

Server& TheServer() {
  static Server server;
  return server;
}

std::string ModelFile(const std::string& name) {
  const std::string path = TheServer().Dir().Dir() + name;
  qtest::WriteFileBytes(path, qtest::ModelText(kValues));
  return path;
}

void BM_ImportProcess(benchmark::State& state) {
  Server& server = TheServer();
  if (!server.Ready()) return state.SkipWithError("no server");
  const std::string model = ModelFile("cell.mdl");
  double import = 0, bare = 0;
  for (auto _ : state) {
    const Server::Outcome a = Server::Run({QELMORA_CLI, "--store", server.Location(), "import", model});
    const Server::Outcome b = Server::Run({LAB_BARE_INSERT, server.Location()});
    if (a.status != 0 || b.status != 0) return state.SkipWithError("an insert failed");
    import += a.seconds;
    bare += b.seconds;
    state.SetIterationTime(a.seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["import_ms"] = import / n * 1e3;
  state.counters["bare_insert_ms"] = bare / n * 1e3;
  state.counters["ratio"] = import / bare;
}
BENCHMARK(BM_ImportProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_SixteenImporters(benchmark::State& state) {
  Server& server = TheServer();
  if (!server.Ready()) return state.SkipWithError("no server");
  // Each importer its own files: a model file is read under an exclusive lock.
  std::vector<std::vector<std::string>> argvs(16, {QELMORA_CLI, "--store", server.Location(), "import"});
  for (std::size_t p = 0; p < argvs.size(); ++p) {
    for (int i = 0; i < 200; ++i) argvs[p].push_back(ModelFile("m" + std::to_string(p) + "-" + std::to_string(i) + ".mdl"));
  }
  double seconds = 0;
  long rows = 0;
  for (auto _ : state) {
    const long before = std::stol(server.Psql("SELECT count(*) FROM qelmora.table1"));
    const auto start = Clock::now();
    std::vector<std::thread> importers;
    std::atomic<int> failed = 0;
    for (const auto& argv : argvs) importers.emplace_back([&] { failed += Server::Run(argv).status != 0; });
    for (auto& t : importers) t.join();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rows = std::stol(server.Psql("SELECT count(*) FROM qelmora.table1")) - before;
    if (failed != 0) return state.SkipWithError("an importer failed");
    state.SetIterationTime(seconds);
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["rows_per_s"] = static_cast<double>(rows) / seconds;
}
BENCHMARK(BM_SixteenImporters)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_History(benchmark::State& state) {
  Server& server = TheServer();
  if (!server.Ready()) return state.SkipWithError("no server");
  server.FillTo(state.range(0));
  const long rows = std::stol(server.Psql("SELECT count(*) FROM qelmora.table1"));
  double tool = 0, copy = 0, rss = 0;
  const std::string query =
      "\\copy (SELECT \"L0\", \"R0\", \"R1\", \"CPE1-T\", \"CPE1-P\", \"R2\", \"CPE2-T\", \"CPE2-P\", \"R3\", "
      "\"CPE3-T\", \"CPE3-P\", to_char(imported_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), source, "
      "imported_by, workstation FROM qelmora.table1 ORDER BY CASE WHEN copied_from IS NULL THEN imported_at"
      " ELSE recorded_at END NULLS FIRST, id) TO STDOUT WITH CSV HEADER";
  for (auto _ : state) {
    const Server::Outcome a = Server::Run({QELMORA_CLI, "--store", server.Location(), "history"});
    const Server::Outcome b = Server::Run({"psql", "-X", "-h", server.Socket(), "-U", "postgres", "-d", "lab", "-c", query});
    if (a.status != 0 || b.status != 0) return state.SkipWithError("a reader failed");
    tool += a.seconds;
    copy += b.seconds;
    rss = std::max(rss, a.peakRssMb);
    state.SetIterationTime(a.seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["history_s"] = tool / n;
  state.counters["psql_copy_s"] = copy / n;
  state.counters["ratio"] = tool / copy;
  state.counters["peak_rss_MB"] = rss;
}
BENCHMARK(BM_History)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CurrentSet(benchmark::State& state) {
  Server& server = TheServer();
  if (!server.Ready()) return state.SkipWithError("no server");
  server.FillTo(1000000);
  std::unique_ptr<ParameterStore> store = OpenLabStore(server.Location());
  for (auto _ : state) benchmark::DoNotOptimize(store->ReadCurrent());
  state.counters["rows"] = std::stod(server.Psql("SELECT count(*) FROM qelmora.table1"));
}
BENCHMARK(BM_CurrentSet)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
