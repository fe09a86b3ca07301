// Crash consistency: the command-line tool imports a list of model files and is killed with SIGKILL
// at a random moment, 100 times over. Afterwards the store passes integrity_check, every row holds
// all the values of exactly one file, every import the tool reported as saved is there, and at most
// the one import in flight at each kill is there besides.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

using qtest::TableRow;

constexpr int kKills = 100;
constexpr int kFilesPerRun = 12;
const std::string kSuccess = "插入成功!";

std::string Tag(int run, int file) { return std::to_string(run) + "_" + std::to_string(file); }

// Reads the child's output until it has printed `lines` success lines or the deadline passes; *buffer
// keeps what was read and *arrivals the moment each success line came in.
void ReadSuccesses(int fd, int lines, std::chrono::steady_clock::time_point deadline, std::string* buffer,
                   std::vector<std::chrono::steady_clock::time_point>* arrivals) {
  std::size_t counted = 0;  // where the search for the next success line goes on
  while (static_cast<int>(arrivals->size()) < lines) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char chunk[1024];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    buffer->append(chunk, static_cast<std::size_t>(got));
    for (std::size_t at = buffer->find(kSuccess, counted); at != std::string::npos; at = buffer->find(kSuccess, counted)) {
      arrivals->push_back(std::chrono::steady_clock::now());
      counted = at + kSuccess.size();
    }
  }
}

TEST(CrashTest, ImportsKilledAtRandomMomentsLeaveOnlyCompleteRows) {
  qtest::TempDir dir;
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  const std::string database = dir.Dir() + "dravo.mdb";
  std::mt19937 random(20261207);

  std::map<int, int> reported;  // run -> imports the tool reported as saved before its kill
  int killedMidList = 0;
  int journalsLeft = 0;  // kills that left frames in the write-ahead log
  long importMicros = 0;  // how long one import takes, roughly
  for (int run = 0; run < kKills; ++run) {
    std::vector<std::string> argv = {qrel::CliProgram(), "--store", dir.Dir(), "import"};
    for (int file = 0; file < kFilesPerRun; ++file) {
      const auto path = dir.Path() / ("c" + Tag(run, file) + ".mdl");
      qtest::WriteFileBytes(path, qtest::ModelText(qrel::TaggedValues(Tag(run, file))));
      argv.push_back(path.string());
    }
    qrel::Child child = qrel::StartChild(argv);
    ASSERT_GT(child.pid, 0);

    // Kill after a random number of saved imports (0: while it starts), then at a random moment
    // within the time one import takes (measured between success lines as the runs go on).
    const int after = std::uniform_int_distribution<int>(0, 2)(random);
    std::string output;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    ReadSuccesses(child.out, after, std::chrono::steady_clock::now() + std::chrono::seconds(30), &output, &arrivals);
    if (arrivals.size() >= 2) {
      const long gap = std::chrono::duration_cast<std::chrono::microseconds>(arrivals.back() - arrivals.front()).count() /
                       static_cast<long>(arrivals.size() - 1);
      importMicros = importMicros == 0 ? gap : (importMicros * 3 + gap) / 4;
    }
    const long most = std::max<long>(importMicros, 1000);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long>(0, most)(random)));
    ::kill(child.pid, SIGKILL);
    const qrel::ChildResult result = qrel::FinishChild(child);
    // The store keeps a write-ahead log: frames left in it are what the next opener recovers.
    std::error_code ec;
    if (std::filesystem::file_size(database + "-wal", ec) > 0 && !ec) ++journalsLeft;
    output += result.output;
    int saved = 0;
    for (std::size_t at = output.find(kSuccess); at != std::string::npos; at = output.find(kSuccess, at + 1)) ++saved;
    reported[run] = saved;
    if (result.status == 128 + SIGKILL && saved < kFilesPerRun) ++killedMidList;
  }
  // The kills must have landed inside the list of imports, not after the tool had finished.
  EXPECT_GT(killedMidList, kKills / 2);
  ::testing::Test::RecordProperty("killed_mid_list", killedMidList);
  ::testing::Test::RecordProperty("log_frames_left", journalsLeft);

  EXPECT_EQ(qtest::IntegrityCheck(database), "ok");
  const std::vector<TableRow> rows = qtest::ReadTableRows(database);
  std::map<int, std::set<int>> present;
  for (const TableRow& row : rows) {
    ASSERT_TRUE(row[0].has_value()) << "a row without its first value";
    const std::string tag = qrel::TagOf(*row[0]);
    EXPECT_EQ(row, qtest::RowOf(qrel::TaggedValues(tag))) << "an incomplete or mixed row";
    const int run = std::stoi(tag.substr(0, tag.find('_')));
    const int file = std::stoi(tag.substr(tag.find('_') + 1));
    EXPECT_TRUE(present[run].insert(file).second) << "file " << tag << " saved twice";
  }
  int unreported = 0;  // saved, but killed before it could say so
  for (int run = 0; run < kKills; ++run) {
    SCOPED_TRACE(run);
    // The files are imported in order: the reported ones, and perhaps the one in flight at the kill.
    const int count = static_cast<int>(present[run].size());
    EXPECT_TRUE(count == reported[run] || count == reported[run] + 1) << count << " vs " << reported[run];
    if (count == reported[run] + 1) ++unreported;
    for (int file = 0; file < count; ++file) EXPECT_TRUE(present[run].count(file)) << file;
  }

  ::testing::Test::RecordProperty("saved_unreported", unreported);

  // The store still takes the next import.
  const auto next = dir.Path() / "next.mdl";
  qtest::WriteFileBytes(next, qtest::ModelText(qrel::TaggedValues("next")));
  const qrel::ChildResult last = qrel::RunChild({qrel::CliProgram(), "--store", dir.Dir(), "import", next.string()});
  EXPECT_EQ(last.status, 0) << last.output;
  EXPECT_EQ(qtest::RowCount(database), static_cast<long>(rows.size()) + 1);
}

}  // namespace
