// Two processes (the command-line tool) import 500 distinct model files each into the same store at
// the same time: afterwards table1 has exactly 1000 rows, one complete row per file.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kFilesEach = 500;

TEST(ConcurrencyTest, TwoWritersAtOnceLoseAndMergeNothing) {
  qtest::TempDir dir;
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  const std::string database = dir.Dir() + "dravo.mdb";

  std::vector<std::vector<std::string>> commands;
  std::set<std::string> tags;
  for (const char* writer : {"a", "b"}) {
    std::vector<std::string> argv = {qrel::CliProgram(), "--store", dir.Dir(), "import"};
    for (int i = 0; i < kFilesEach; ++i) {
      const std::string tag = std::string(writer) + std::to_string(i);
      const auto path = dir.Path() / (tag + ".mdl");
      qtest::WriteFileBytes(path, qtest::ModelText(qrel::TaggedValues(tag)));
      argv.push_back(path.string());
      tags.insert(tag);
    }
    commands.push_back(argv);
  }

  qrel::Child a = qrel::StartChild(commands[0]);
  qrel::Child b = qrel::StartChild(commands[1]);
  const qrel::ChildResult ra = qrel::FinishChild(a);
  const qrel::ChildResult rb = qrel::FinishChild(b);

  std::string expectedOutput[2];
  for (int w = 0; w < 2; ++w) {
    for (std::size_t i = 4; i < commands[w].size(); ++i) expectedOutput[w] += commands[w][i] + ": 插入成功!\n";
  }
  EXPECT_EQ(ra.status, 0);
  EXPECT_EQ(rb.status, 0);
  EXPECT_EQ(ra.output, expectedOutput[0]);
  EXPECT_EQ(rb.output, expectedOutput[1]);

  EXPECT_EQ(qtest::IntegrityCheck(database), "ok");
  const std::vector<qtest::TableRow> rows = qtest::ReadTableRows(database);
  EXPECT_EQ(rows.size(), 2u * kFilesEach);
  std::set<std::string> seen;
  std::vector<int> order[2];
  for (const qtest::TableRow& row : rows) {
    ASSERT_TRUE(row[0].has_value());
    const std::string tag = qrel::TagOf(*row[0]);
    EXPECT_EQ(row, qtest::RowOf(qrel::TaggedValues(tag))) << "a merged or incomplete row";
    EXPECT_TRUE(seen.insert(tag).second) << tag << " saved twice";
    order[tag[0] == 'a' ? 0 : 1].push_back(std::stoi(tag.substr(1)));
  }
  EXPECT_EQ(seen, tags);
  // Each writer's rows come in the order it imported them.
  for (const auto& sequence : order) EXPECT_TRUE(std::is_sorted(sequence.begin(), sequence.end()));
}

}  // namespace
