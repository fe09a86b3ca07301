// The data file read through the platform's backend (a mapping of the file; under Wine too): a file
// reads to its points, an empty file and a folder are refused with a reason.
#include <gtest/gtest.h>

#include "instrument/measured_data.h"
#include "tests/support/test_support.h"

namespace {

TEST(MeasuredDataFile, AFileIsReadThroughItsMappingAndAFolderIsRefused) {
  qtest::TempDir dir;
  const std::filesystem::path table = dir.Path() / "run.csv", empty = dir.Path() / "empty.txt";
  qtest::WriteFileBytes(table, "f;Zre;Zim\r\n1000;1,5;-0,25\r\n100;2,5;-1\r\n");
  qtest::WriteFileBytes(empty, "");
  const MeasuredData data = ReadMeasuredData(table.string());
  EXPECT_EQ(data.file, table.string());
  EXPECT_EQ(data.points, (std::vector<MeasuredPoint>{{1000, 1.5, -0.25}, {100, 2.5, -1}}));
  EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData(empty.string()); }).find("空"), std::string::npos);
  EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData(dir.Dir()); }), "");
  EXPECT_NE(qtest::OperationFailure([&] { ReadMeasuredData((dir.Path() / "none.csv").string()); }).find("无法打开"),
            std::string::npos);
}

}  // namespace
