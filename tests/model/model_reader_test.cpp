// The model file reader on real files: line cutting, the 10,000-byte head, the element block
// grammar and the failures of the open.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "model/model_reader.h"
#include "tests/support/test_support.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class ModelReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { g_nModelReadPos = 0; }

  std::string Write(const std::string& bytes, const std::string& name = "model.mdl") {
    const auto path = dir.Path() / name;
    qtest::WriteFileBytes(path, bytes);
    return path.string();
  }

  // Walks the file from the start; the pairs in the order they were handed over.
  // found: an element was found; cut: a line was cut by the window; walk: the whole result.
  Pairs Walk(const std::string& path, bool* found = nullptr, bool* cut = nullptr, ModelWalk* walk = nullptr) {
    g_nModelReadPos = 0;
    Pairs pairs;
    const ModelWalk result = WalkModelFile(
        path, [&](const std::string& column, const std::string& value) { pairs.emplace_back(column, value); });
    if (found != nullptr) *found = result.fault != ModelFileFault::noElement;
    if (cut != nullptr) *cut = result.fault == ModelFileFault::cutByWindow;
    if (walk != nullptr) *walk = result;
    return pairs;
  }

  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
};

// ---- Lines -------------------------------------------------------------------------------------

TEST_F(ModelReaderTest, CrLfLinesAreCutAtTheCarriageReturnAndTheEndReadsEmpty) {
  const std::string path = Write("first\r\nsecond line\r\n\r\nlast");
  EXPECT_EQ(ReadModelLine(path), "first");
  EXPECT_EQ(g_nModelReadPos, 7u);
  EXPECT_EQ(ReadModelLine(path), "second line");
  EXPECT_EQ(ReadModelLine(path), "");
  EXPECT_EQ(g_nModelReadPos, 22u);
  EXPECT_EQ(ReadModelLine(path), "last");
  EXPECT_EQ(g_nModelReadPos, 26u);  // the end of the data
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ReadModelLine(path), "");
    EXPECT_EQ(g_nModelReadPos, 26u);
  }
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ModelReaderTest, TheByteAfterACarriageReturnIsSkippedWhateverItIs) {
  // CR alone: every line after the first loses its first byte.
  const std::string path = Write("Element 1 Type: 3\rxName: L0\rabc\r");
  EXPECT_EQ(ReadModelLine(path), "Element 1 Type: 3");
  EXPECT_EQ(ReadModelLine(path), "Name: L0");
  EXPECT_EQ(ReadModelLine(path), "bc");
  // The last CR is the last byte: the position goes one past the end and stays there.
  EXPECT_EQ(g_nModelReadPos, 33u);
  EXPECT_EQ(ReadModelLine(path), "");
  EXPECT_EQ(g_nModelReadPos, 33u);
}

TEST_F(ModelReaderTest, LineFeedsEndLinesOnlyInAWindowWithoutCarriageReturn) {
  // No carriage return anywhere: each line feed ends a line and only it is passed.
  const std::string text = "Element 1 Type: 3\n  Name: L0\n\nlast";
  const std::string path = Write(text);
  EXPECT_EQ(ReadModelLine(path), "Element 1 Type: 3");
  EXPECT_EQ(g_nModelReadPos, 18u);
  EXPECT_EQ(ReadModelLine(path), "  Name: L0");
  EXPECT_EQ(ReadModelLine(path), "");
  EXPECT_EQ(ReadModelLine(path), "last");
  EXPECT_EQ(ReadModelLine(path), "");
  EXPECT_EQ(g_nModelReadPos, text.size());

  // One carriage return anywhere in the window, even after the lines read: line feeds are text.
  const std::string mixed = Write("Element 1 Type: 3\n  Name: L0\n  Value: 1\r\nEnd", "mixed.mdl");
  g_nModelReadPos = 0;
  EXPECT_EQ(ReadModelLine(mixed), "Element 1 Type: 3\n  Name: L0\n  Value: 1");
  EXPECT_EQ(ReadModelLine(mixed), "End");
}

TEST_F(ModelReaderTest, ANameOrValueLineCutByTheWindowStopsTheWalkWithoutItsBlock) {
  const std::string model = qtest::CrLfLines({"Element 0 Type: 1", "  Name: R0", "  Fixed: N", "  Value: 0.5",
                                              "  Limits: none", "Element 1 Type: 11", "  Name: CPE1", "  Fixed T: N",
                                              "  Value: 0.10342", "  Limits T: none", "  Fixed P: N",
                                              "  Value: 0.8", "  Limits P: none", "End"});
  // Cut inside a value and inside a name: only the blocks before it, and the cut is told.
  for (const char* cutAfter : {"0.1", "CP"}) {
    SCOPED_TRACE(cutAfter);
    bool found = false;
    bool cut = false;
    EXPECT_EQ(Walk(Write(qtest::ModelCutAfter(model, cutAfter)), &found, &cut), (Pairs{{"R0", "0.5"}}));
    EXPECT_TRUE(found);
    EXPECT_TRUE(cut);
  }

  // The window ending inside a line that yields nothing loses nothing that was read.
  bool cut = true;
  EXPECT_EQ(Walk(Write(qtest::ModelCutAfter(model, "Limits P")), nullptr, &cut),
            (Pairs{{"R0", "0.5"}, {"CPE1-T", "0.10342"}, {"CPE1-P", "0.8"}}));
  EXPECT_FALSE(cut);
}

TEST_F(ModelReaderTest, OnlyTheFirstTenThousandBytesExist) {
  std::string text(9995, 'a');
  text += "bcdefghij\r\nafter";  // "bcdef" ends at byte 10,000
  const std::string path = Write(text);
  const std::string first = ReadModelLine(path);
  EXPECT_EQ(first.size(), kModelReadLimit);
  EXPECT_EQ(first.substr(first.size() - 5), "bcdef");
  EXPECT_EQ(g_nModelReadPos, kModelReadLimit);
  EXPECT_EQ(ReadModelLine(path), "");
  EXPECT_EQ(g_nModelReadPos, kModelReadLimit);
}

// Another holder of the file, by flock (the Windows build's exclusive open is tested in tests/win).
#ifndef _WIN32
TEST_F(ModelReaderTest, EveryLineOpensTheFileAgainAndLetsGoOfIt) {
  const std::string path = Write("one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(ReadModelLine(path), "one");

  // Nothing is held between calls: another holder can lock the file exclusively right now...
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);

  // ...and a change of the file shows in the next line read.
  qtest::WriteFileBytes(path, "one\r\nTWO\r\nthree\r\n");
  EXPECT_EQ(ReadModelLine(path), "TWO");
}
#endif

// ---- Failures of the open ----------------------------------------------------------------------

struct OpenFailure {
  const char* what;
  int cause;
};

// The notice a command shows for the file exception that read raises (nothing when it raises none).
std::string NoticeOfFailedRead(const std::function<void()>& read) {
  try {
    read();
  } catch (const FileException& e) {
    return e.NoticeText();
  }
  return {};
}

TEST_F(ModelReaderTest, AFileThatCannotBeOpenedThrowsItsCauseForTheCommandToShow) {
  const std::string missing = (dir.Path() / "missing.mdl").string();
  const std::string folder = (dir.Path() / "folder.mdl").string();
  std::filesystem::create_directory(folder);
  const std::string notADirectory = Write("x") + "/model.mdl";

  const std::vector<std::pair<std::string, OpenFailure>> cases = {
      {missing, {"missing file", FileException::fileNotFound}},
#ifdef _WIN32
      {"", {"empty path", FileException::badPath}},  // CreateFileA: ERROR_PATH_NOT_FOUND
#else
      {"", {"empty path", FileException::fileNotFound}},
#endif
      {notADirectory, {"a file used as a folder", FileException::badPath}},
      {folder, {"a folder", FileException::accessDenied}},
  };
  for (const auto& [path, failure] : cases) {
    SCOPED_TRACE(failure.what);
    boxes.Clear();
    g_nModelReadPos = 0;
    try {
      ReadModelLine(path);
      ADD_FAILURE() << "no exception";
    } catch (const FileException& e) {
      EXPECT_EQ(e.m_cause, failure.cause);
      EXPECT_EQ(e.m_strFileName, path);
      EXPECT_EQ(e.NoticeText(), "error:" + std::to_string(failure.cause) + "\n");
    }
    EXPECT_TRUE(boxes.Boxes().empty());  // shown by the command, not the reader
    EXPECT_EQ(g_nModelReadPos, 0u);
  }
}

#ifndef _WIN32
TEST_F(ModelReaderTest, AFileLockedByAnotherHolderIsASharingViolation) {
  const std::string path = Write(qtest::ModelText({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  ASSERT_EQ(NoticeOfFailedRead([&] { ReadModelLine(path); }), "error:11\n");
  ::close(fd);
  boxes.Clear();
  EXPECT_EQ(ReadModelLine(path), "Element 0 Type: 3");
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ModelReaderTest, AFailureInTheMiddleOfAWalkEndsIt) {
  const std::string path = Write(qtest::ModelText({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  Pairs pairs;
  int fd = -1;
  g_nModelReadPos = 0;
  const std::string notice = NoticeOfFailedRead([&] {
    WalkModelFile(path, [&](const std::string& column, const std::string& value) {
      pairs.emplace_back(column, value);
      // Another holder takes the file after the first block.
      if (fd < 0) {
        fd = ::open(path.c_str(), O_RDONLY);
        ::flock(fd, LOCK_EX);
      }
    });
  });
  if (fd >= 0) ::close(fd);
  EXPECT_EQ(pairs, (Pairs{{"L0", "1"}}));
  EXPECT_EQ(notice, "error:11\n");
}
#endif

// ---- The element block grammar -----------------------------------------------------------------

TEST_F(ModelReaderTest, AWellFormedModelYieldsTheElevenColumnsInFileOrder) {
  const std::string path =
      Write(qtest::ModelText({"1E-7", "0.01", "0.2", "3.5E-5", "0.8", "0.4", "2E-3", "0.75", "1.5", "0.1", "0.5"}));
  bool found = false;
  EXPECT_EQ(Walk(path, &found), (Pairs{{"L0", "1E-7"},
                                       {"R0", "0.01"},
                                       {"R1", "0.2"},
                                       {"CPE1-T", "3.5E-5"},
                                       {"CPE1-P", "0.8"},
                                       {"R2", "0.4"},
                                       {"CPE2-T", "2E-3"},
                                       {"CPE2-P", "0.75"},
                                       {"R3", "1.5"},
                                       {"CPE3-T", "0.1"},
                                       {"CPE3-P", "0.5"}}));
  EXPECT_TRUE(found);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ModelReaderTest, TheBundledSampleIsWellFormed) {
  const std::string path = (qtest::TestDataDir() / "sample.mdl").string();
  const Pairs pairs = Walk(path);
  ASSERT_EQ(pairs.size(), 11u);
  EXPECT_EQ(pairs[0], (Pairs::value_type{"L0", "1.2345E-07"}));
  EXPECT_EQ(pairs[4], (Pairs::value_type{"CPE1-P", "0.78412"}));
  EXPECT_EQ(pairs[10], (Pairs::value_type{"CPE3-P", "0.65318"}));
}

TEST_F(ModelReaderTest, ABlockIsHandedOverAsSoonAsItsLastLineIsRead) {
  const std::string header = "Element 1 Type: 3";
  const std::vector<std::string> block = {header, "Name: R0", "Fixed: N", "Value: 2.5", "Error: 0"};
  const std::string path =
      Write(qtest::CrLfLines({block[0], block[1], block[2], block[3], block[4], "End", "Element 2 Type: 1",
                              "Name: R1", "x", "Value: 9", "y"}));
  std::vector<std::size_t> positions;
  g_nModelReadPos = 0;
  Pairs pairs;
  WalkModelFile(path, [&](const std::string& column, const std::string& value) {
    pairs.emplace_back(column, value);
    positions.push_back(g_nModelReadPos);
  });
  // One pair; handed over right behind the block's fifth line; reading stops after the sixth line.
  EXPECT_EQ(pairs, (Pairs{{"R0", "2.5"}}));
  std::size_t blockEnd = 0;
  for (const std::string& line : block) blockEnd += line.size() + 2;
  EXPECT_EQ(positions, std::vector<std::size_t>{blockEnd});
  EXPECT_EQ(g_nModelReadPos, blockEnd + std::string("End\r\n").size());
}

TEST_F(ModelReaderTest, LinesBeforeTheFirstHeaderArePassedOver) {
  const std::string path = Write(qtest::CrLfLines(
      {"Model of cell 7", "", "Fit done", "Element 1 Type: 3", "Name: L0", "-", "Value: 4e-8", "-", "Done"}));
  EXPECT_EQ(Walk(path), (Pairs{{"L0", "4e-8"}}));
}

TEST_F(ModelReaderTest, TypeCodesAreWholeTextsAfterTheSpaces) {
  struct Case {
    std::string header;
    Pairs expected;
  };
  // Each header is followed by an R0 block layout, then a final "R9" block that shows where the
  // next header was taken from.
  const std::vector<std::string> body = {"Name: R0", "-", "Value: 5", "-"};
  const std::vector<std::string> tail = {"Element 9 Type: 1", "Name: R9", "-", "Value: 9", "-", "End"};
  const std::vector<Case> cases = {
      {"Element 5 Type:   3", {{"R0", "5"}, {"R9", "9"}}},
      {"Type: 1 Element", {}},  // code "1 Element"
      {"Element Type:1", {{"R0", "5"}, {"R9", "9"}}},
      {"Element 5 Type: 3 ", {}},  // trailing blank: no code; "Name: R0" lacks "Element" and ends it
      {"Element 5 Type:\t3", {}},  // only spaces are skipped
      {"Element 5 Type: 03", {}},
      {"Element 5 Type: 3\t", {}},
      {"element 5 Type: 3", {{"R9", "9"}}},  // case-sensitive: the search for a header goes on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::vector<std::string> lines = {c.header};
    lines.insert(lines.end(), body.begin(), body.end());
    lines.insert(lines.end(), tail.begin(), tail.end());
    EXPECT_EQ(Walk(Write(qtest::CrLfLines(lines))), c.expected);
  }
}

TEST_F(ModelReaderTest, AnUnknownCodeStandsAloneAndTheNextLineMustBeAHeader) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: 7", "Element 2 Type: 3", "Name: L0", "-",
                                                   "Value: 1", "-", "Element 3 Type: 99", "Name: R0", "Element 4",
                                                   "Value: 2", "-"}));
  bool found = false;
  EXPECT_EQ(Walk(path, &found), (Pairs{{"L0", "1"}}));
  EXPECT_TRUE(found);
}

TEST_F(ModelReaderTest, MarkerCodesSkipOneLine) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: -1", "Element inside the block is ignored",
                                                   "Element 2 Type: -2", "Name: nothing", "Element 3 Type: 1",
                                                   "Name: R1", "-", "Value: 3", "-", "Element 4 Type: -1"}));
  // The last marker's ignored line lies past the end of the data: the file is cut there.
  ModelWalk walk;
  EXPECT_EQ(Walk(path, nullptr, nullptr, &walk), (Pairs{{"R1", "3"}}));
  EXPECT_EQ(walk.fault, ModelFileFault::cutShort);
}

TEST_F(ModelReaderTest, ACpeBlockGivesTAndPFromItsThirdAndSixthLines) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: 11", "Name: CPE1", "Value: wrong 2",
                                                   "Value: 0.00042", "Value: wrong 4", "Value: wrong 5",
                                                   "Value: 0.87", "Value: wrong 7", "End"}));
  EXPECT_EQ(Walk(path), (Pairs{{"CPE1-T", "0.00042"}, {"CPE1-P", "0.87"}}));
}

TEST_F(ModelReaderTest, AHeaderWithoutTypeIsPassedOver) {
  const std::vector<std::string> r0 = {"Element 2 Type: 1", "Name: R0", "-", "Value: 2", "-"};
  std::vector<std::string> lines = {"Element 1 Type: 3", "Name: L0", "-", "Value: 1", "-", "Element comment"};
  lines.insert(lines.end(), r0.begin(), r0.end());
  EXPECT_EQ(Walk(Write(qtest::CrLfLines(lines))), (Pairs{{"L0", "1"}, {"R0", "2"}}));

  // Without "Element" on the line after it, reading ends there.
  lines = {"Element 1 Type: 3", "Name: L0", "-", "Value: 1", "-", "Element comment", "Comment"};
  lines.insert(lines.end(), r0.begin(), r0.end());
  EXPECT_EQ(Walk(Write(qtest::CrLfLines(lines))), (Pairs{{"L0", "1"}}));
}

TEST_F(ModelReaderTest, AnEmptyLineBetweenBlocksEndsTheReading) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: 3", "Name: L0", "-", "Value: 1", "-", "",
                                                   "Element 2 Type: 1", "Name: R0", "-", "Value: 2", "-"}));
  EXPECT_EQ(Walk(path), (Pairs{{"L0", "1"}}));
  EXPECT_EQ(g_nModelReadPos, std::string(qtest::CrLfLines({"Element 1 Type: 3", "Name: L0", "-", "Value: 1", "-", ""})).size());
}

TEST_F(ModelReaderTest, LineFeedOnlyFilesYieldTheirBlocks) {
  std::string text;
  for (const char* line : {"Element 1 Type: 3", "  Name: L0", "  Fixed: N", "  Value: 1", "  Error: 0"}) {
    text += std::string(line) + "\n";
  }
  bool found = false;
  EXPECT_EQ(Walk(Write(text), &found), (Pairs{{"L0", "1"}}));
  EXPECT_TRUE(found);
}

TEST_F(ModelReaderTest, CarriageReturnOnlyFilesLoseTheFirstByteOfEachLine) {
  // With indented lines the lost byte is a blank and everything still reads.
  std::string text;
  for (const char* line : {"Element 1 Type: 3", "  Name: L0", "  Fixed: N", "  Value: 1", "  Error: 0",
                           "Element 2 Type: 1", " Name: R0", " -", " Value: 2", " -"}) {
    text += std::string(line) + "\r";
  }
  // The second header has lost its "E": reading ends after the first block.
  EXPECT_EQ(Walk(Write(text)), (Pairs{{"L0", "1"}}));
}

TEST_F(ModelReaderTest, NamesAndValuesAreTrimmedAtBothEndsOnly) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: 3", "Name:\t  my  element \t\v\f",
                                                   "Fixed: N", "  Value:   1.5E-3 \t", "-",
                                                   "Element 3 Type: 1", "xName: R1 Name: R2", "-",
                                                   "Value:7", "-"}));
  EXPECT_EQ(Walk(path), (Pairs{{"my  element", "1.5E-3"}, {"R1 Name: R2", "7"}}));
}

TEST_F(ModelReaderTest, ABlockWhoseNameOrValueLineLacksItsKeywordYieldsNothing) {
  const std::string path = Write(qtest::CrLfLines({
      "Element 1 Type: 3", "L0", "-", "Value: 1", "-",                           // no "Name:"
      "Element 2 Type: 1", "Name: R0", "-", "2", "-",                            // no "Value:"
      "Element 3 Type: 11", "Name: CPE1", "-", "Value: 3", "-", "-", "4", "-",  // P lacks "Value:"
      "Element 4 Type: 11", "Nam", "-", "Val", "-", "-", "Va", "-",              // shorter than the keywords
      "Element 5 Type: 1", "Name: R1", "-", "Value: 5", "-",
  }));
  EXPECT_EQ(Walk(path), (Pairs{{"R1", "5"}}));
}

// Cut inside a block, or a value that the readers do not read whole to a finite number: the walk
// ends with the fault, the element and the value as written, and the block yields nothing. A last
// line without its line end is whole.
TEST_F(ModelReaderTest, ACutBlockOrAValueThatIsNoNumberEndsTheWalkWithItsFault) {
  const auto r0 = [](const std::string& v) { return "Element 1 Type: 1\r\nName: R0\r\n-\r\nValue: " + v + "\r\n"; };
  const std::string cpe = "Element 2 Type: 11\r\nName: CPE3\r\n-\r\nValue: 2E-3\r\n-\r\n-\r\n";
  const std::string model = qtest::ModelText({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
  using enum ModelFileFault;
  std::vector<std::tuple<std::string, std::size_t, ModelFileFault, std::string, std::string>> cases = {
      {r0("+.5d-1") + "-\r\n" + cpe + "Value: -1.2345E-07\r\n-", 3, none, "", ""},
      {r0("0.5"), 0, cutShort, "R0", ""},
      {"Element 1 Type: 3\r\nName: R3\r\n-\r\nValue: 0.10", 0, cutShort, "R3", ""},
      {r0("1") + "-\r\n" + cpe + "Value: 0.6", 1, cutShort, "CPE3", ""},
      {r0("1") + "-\r\nElement 3 Type: -2", 1, cutShort, "", ""},
      {qtest::ModelCutAfter(model, "Value: 4\r\n"), 3, cutByWindow, "CPE1", ""},
      {r0("1") + "-\r\n" + cpe + "Value: 0x1\r\n-", 1, notANumber, "CPE3-P", "0x1"},
  };
  for (const char* odd : {"0.02x3107", "1,5E-3", "12.5 ohm", "1.5 E-3", "1e999", "", "\xd2\xbb"}) {
    cases.emplace_back(r0(odd) + "-", 0, notANumber, "R0", odd);
  }
  for (const auto& [bytes, pairs, fault, element, value] : cases) {
    SCOPED_TRACE(bytes.substr(0, 120));
    ModelWalk walk;
    EXPECT_EQ(Walk(Write(bytes), nullptr, nullptr, &walk).size(), pairs);
    EXPECT_EQ(walk.fault, fault);
    EXPECT_EQ(walk.element, element);
    EXPECT_EQ(walk.value, value);
  }
}

// Every reopen must find the bytes of the first: a file saved again between two lines, to the same
// length or another, ends the walk; written again with the same bytes it reads on.
TEST_F(ModelReaderTest, AFileThatChangesBetweenTwoReopensEndsTheWalk) {
  const std::string model = qtest::ModelText({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
  std::string sameLength = model;
  sameLength[sameLength.find("Value: 2") + 7] = '3';
  for (const std::string& rewritten : {model, sameLength, model + "\r\n"}) {
    const std::string path = Write(model);
    g_nModelReadPos = 0;
    std::size_t pairs = 0;
    const ModelWalk walk = WalkModelFile(path, [&](const std::string&, const std::string&) {
      if (++pairs == 1) qtest::WriteFileBytes(path, rewritten);
    });
    EXPECT_EQ(walk.fault, rewritten == model ? ModelFileFault::none : ModelFileFault::changed);
    EXPECT_EQ(pairs, rewritten == model ? 11u : 1u);
  }
}

TEST_F(ModelReaderTest, AnElementThatOccursTwiceIsYieldedTwice) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: 3", "Name: R1", "-", "Value: 1", "-",
                                                   "Element 2 Type: 1", "Name: R1", "-", "Value: 2", "-"}));
  EXPECT_EQ(Walk(path), (Pairs{{"R1", "1"}, {"R1", "2"}}));
}

TEST_F(ModelReaderTest, BlocksBeyondTheTenThousandthByteAreNeverSeen) {
  // R blocks well past the limit. A block yields a value when its whole value line, carriage return
  // included, lies inside the first 10,000 bytes; a value line cut there ends the walk.
  std::string text;
  std::size_t expected = 0;
  for (int element = 0; text.size() < kModelReadLimit + 2000; ++element) {
    const std::string number = std::to_string(element);
    text += qtest::CrLfLines({"Element " + number + " Type: 1", "Name: R" + number, "-"});
    if (text.size() + ("Value: " + number).size() + 2 < kModelReadLimit) ++expected;  // and the line after it
    text += qtest::CrLfLines({"Value: " + number, "-"});
  }
  bool cutLine = false;
  const Pairs pairs = Walk(Write(text), nullptr, &cutLine);
  EXPECT_TRUE(cutLine);
  ASSERT_EQ(pairs.size(), expected);
  ASSERT_GT(expected, 100u);
  for (std::size_t i = 0; i < pairs.size(); ++i) EXPECT_EQ(pairs[i].first, "R" + std::to_string(i));

  // The limit falls inside a value: the walk stops there without it, and says so.
  std::string cut = "Notes" + std::string(9955 - 5, 'x') + "\r\n";
  cut += qtest::CrLfLines({"Element 1 Type: 1", "Name: R1", "-", "Value: 123456789", "-",
                           "Element 2 Type: 1", "Name: R2", "-", "Value: 2", "-"});
  cutLine = false;
  EXPECT_EQ(Walk(Write(cut), nullptr, &cutLine), Pairs{});
  EXPECT_TRUE(cutLine);
}

TEST_F(ModelReaderTest, AFileWithoutAnyElementEndsTheSearchAtTheEndOfTheData) {
  bool found = true;
  EXPECT_TRUE(Walk(Write(""), &found).empty());
  EXPECT_FALSE(found);
  EXPECT_TRUE(Walk(Write(qtest::CrLfLines({"a", "", "", "b", "Type: 3", "Name: L0", "Value: 1"})), &found).empty());
  EXPECT_FALSE(found);
  // "Element" only after the 10,000th byte does not count.
  EXPECT_TRUE(Walk(Write(std::string(kModelReadLimit, 'x') + "\r\n" + qtest::ModelText({"1", "2", "3", "4", "5", "6",
                                                                                        "7", "8", "9", "10", "11"})),
                   &found)
                  .empty());
  EXPECT_FALSE(found);
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
