// The Linux report end to end, without stand-ins in the program: a scratch desktop environment
// (HOME, XDG directories) whose default application for .xlsx is a small script that records the file
// it is given. The report runs in a child process (report_probe) on a real store; the file the script
// received is read back with openpyxl.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "report/report.h"
#include "tests/report/report_test_util.h"

namespace {

constexpr const char* kXlsxType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// A desktop environment of its own: HOME, XDG directories and TMPDIR under one temporary directory.
class ScratchDesktop {
 public:
  explicit ScratchDesktop(bool withSpreadsheetApp) {
    for (const char* sub : {"home", "data/applications", "config", "datadirs", "configdirs", "tmp"}) {
      std::filesystem::create_directories(root.Path() / sub);
    }
    if (withSpreadsheetApp) {
      const std::filesystem::path script = root.Path() / "recorder.sh";
      qtest::WriteFileBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " + rtest::ShellQuote(Record().string()) + "\n");
      std::filesystem::permissions(script, std::filesystem::perms::owner_all);
      qtest::WriteFileBytes(root.Path() / "data/applications/qelmora-test-recorder.desktop",
                            "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + script.string() +
                                " %f\nMimeType=" + kXlsxType + ";\nNoDisplay=true\n");
      qtest::WriteFileBytes(root.Path() / "config/mimeapps.list",
                            std::string("[Default Applications]\n") + kXlsxType + "=qelmora-test-recorder.desktop\n");
    }
  }

  std::filesystem::path Record() const { return root.Path() / "record.txt"; }
  std::filesystem::path Tmp() const { return root.Path() / "tmp"; }

  // Runs the probe in this environment only (nothing of the caller's desktop comes through).
  rtest::CommandResult Probe(const std::string& arguments) const {
    const std::filesystem::path& r = root.Path();
    const std::string env = "env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 GIO_USE_VFS=local HOME=" +
                            rtest::ShellQuote((r / "home").string()) + " XDG_DATA_HOME=" + rtest::ShellQuote((r / "data").string()) +
                            " XDG_CONFIG_HOME=" + rtest::ShellQuote((r / "config").string()) +
                            " XDG_DATA_DIRS=" + rtest::ShellQuote((r / "datadirs").string()) +
                            " XDG_CONFIG_DIRS=" + rtest::ShellQuote((r / "configdirs").string()) +
                            " TMPDIR=" + rtest::ShellQuote(Tmp().string() + "/");
    return rtest::RunCommand(env + " " + rtest::ShellQuote(QELMORA_REPORT_PROBE) + " " + arguments + " 2>&1");
  }

  // The files the recorder was given, once it has been given `count` of them (empty on time-out).
  std::vector<std::string> WaitForRecords(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      std::vector<std::string> lines;
      std::ifstream in(Record());
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      if (lines.size() >= count) return lines;
      if (std::chrono::steady_clock::now() > deadline) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  qtest::TempDir root;
};

const ParameterSet kRow = {"1.2E-7", "4.75 Ohm", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4", "0.62"};

// The report of kRow as the spreadsheet holds it.
void ExpectReportOfRow(const rtest::XlsxBook& book) {
  ASSERT_FALSE(book.sheetNames.empty());
  EXPECT_EQ(book.sheetNames[0], "Sheet1");
  const ReportCells cells = BuildReportCells(kRow);
  for (std::size_t c = 0; c < kReportColumns; ++c) {
    const std::string a1 = std::string(1, static_cast<char>('A' + c)) + "1";
    ASSERT_EQ(book.cells.count(a1), 1u) << a1;
    EXPECT_EQ(book.cells.at(a1).text, cells.names[c]) << a1;
  }
  struct Expected {
    const char* address;
    char type;
    double number;
  };
  const Expected row2[] = {{"A2", 'n', 1.2e-7}, {"B2", 's', 0},         {"C2", 'n', 100},
                           {"D2", 'n', 1e-5},   {"E2", 'n', 1},         {"F2", 'n', 1e-5},
                           {"G2", 'n', 159.154946}, {"I2", 'n', 0.5},   {"J2", 'n', 0.9},
                           {"M2", 'n', 3210.5}, {"N2", 'n', 4.56e-4},   {"O2", 'n', 0.62},
                           {"P2", 'n', 5.76001111e-4}, {"Q2", 'n', 8.60645186e-2}, {"R2", 'n', 3310.5}};
  for (const Expected& e : row2) {
    ASSERT_EQ(book.cells.count(e.address), 1u) << e.address;
    EXPECT_EQ(book.cells.at(e.address).type, e.type) << e.address;
    if (e.type == 'n') {
      EXPECT_EQ(book.cells.at(e.address).number, e.number) << e.address;
    }
  }
  EXPECT_EQ(book.cells.at("B2").text, "4.75 Ohm");
  for (const char* empty : {"H2", "K2", "L2"}) EXPECT_EQ(book.cells.count(empty), 0u) << empty;
}

// Where the workbooks go: qelmora/ in the documents folder of user-dirs.dirs, else in ~/Documents
// when it exists, else in the home folder; never in the temporary directory, and nothing left there.
TEST(SpreadsheetServer, ReportAndHistoryGoToTheDocumentsFolderAndAreNeverReplaced) {
  rtest::ScratchStore store;
  store.Append(kRow, {"", "/messungen/zelle 4.mdl"});

  const struct {
    const char* userDirs;  // user-dirs.dirs, when there is one
    const char* documents;  // made before the run, when not empty
    const char* expected;  // the folder of the workbooks, under home
  } cases[] = {{"XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "", "Dokumente/qelmora"},
               {nullptr, "Documents", "Documents/qelmora"},
               {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "", "qelmora"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const ScratchDesktop desktop(true);
    const std::filesystem::path home = desktop.root.Path() / "home";
    if (c.userDirs != nullptr) qtest::WriteFileBytes(desktop.root.Path() / "config/user-dirs.dirs", c.userDirs);
    if (*c.documents != '\0') std::filesystem::create_directory(home / c.documents);

    for (const char* command : {"open-excel ", "open-excel ", "history "}) {
      const rtest::CommandResult run = desktop.Probe(command + rtest::ShellQuote(store.dir.Dir()));
      ASSERT_EQ(run.status, 0) << run.output;
      EXPECT_EQ(run.output.find("box App"), std::string::npos) << run.output;
    }
    const std::vector<std::string> records = desktop.WaitForRecords(3);
    ASSERT_EQ(records.size(), 3u);
    for (const std::filesystem::path file : records) EXPECT_EQ(file.parent_path(), home / c.expected) << file;
    // Two reports under the model file's name, side by side; then the history.
    EXPECT_NE(records[0], records[1]);
    for (const std::filesystem::path file : {records[0], records[1]}) {
      EXPECT_EQ(file.filename().string().rfind("zelle 4-20", 0), 0u) << file;
      const rtest::XlsxBook book = rtest::ReadXlsx(file);
      ExpectReportOfRow(book);
      EXPECT_EQ(book.sheetNames, (std::vector<std::string>{"Sheet1", "报告", "阻抗谱", "阻抗谱图"}));
    }
    EXPECT_EQ(std::filesystem::path(records[2]).filename().string().rfind("qelmora-history-20", 0), 0u);
    const rtest::XlsxBook history = rtest::ReadXlsx(records[2], 1);  // the charts, then the table
    EXPECT_EQ(history.sheetNames, (std::vector<std::string>{"趋势图", "参数历史"}));
    ASSERT_EQ(history.cells.count("U3"), 1u);
    EXPECT_EQ(history.cells.at("U3").number, 3310.5);  // Rp
    // Nothing but the three workbooks, nothing in the temporary directory.
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home / c.expected)) entries += entry.is_regular_file() ? 1 : 100;
    EXPECT_EQ(entries, 3u);
    EXPECT_TRUE(std::filesystem::is_empty(desktop.Tmp()));
  }
}

// A link at qelmora/ (planted in a shared documents folder) is never followed: nothing is written
// where it points, the message says why and the dialog stays open.
TEST(SpreadsheetServer, ALinkInPlaceOfTheFolderIsNeverFollowed) {
  rtest::ScratchStore store;
  store.Append(kRow);
  const ScratchDesktop desktop(true);
  const std::filesystem::path home = desktop.root.Path() / "home";
  std::filesystem::create_directories(home / "Documents");
  std::filesystem::create_directory(desktop.root.Path() / "elsewhere");
  std::filesystem::create_directory_symlink(desktop.root.Path() / "elsewhere", home / "Documents/qelmora");

  for (const char* command : {"open-excel ", "history "}) {
    const rtest::CommandResult run = desktop.Probe(command + rtest::ShellQuote(store.dir.Dir()));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("box App||无法使用文件夹 " + (home / "Documents/qelmora").string() + "："), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("end "), std::string::npos) << run.output;
  }
  EXPECT_TRUE(std::filesystem::is_empty(desktop.root.Path() / "elsewhere"));
  EXPECT_FALSE(std::filesystem::exists(desktop.Record()));
}

TEST(SpreadsheetServer, WithoutADefaultApplicationTheProgramEndsWithStatusOne) {
  const ScratchDesktop desktop(false);
  rtest::ScratchStore store;
  store.Append(kRow);

  const rtest::CommandResult run = desktop.Probe("open-excel " + rtest::ShellQuote(store.dir.Dir()));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("box Dialog|信息提示|创建Excel服务失败!\n"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("end "), std::string::npos) << run.output;
  // The history says so and the dialog stays.
  const rtest::CommandResult history = desktop.Probe("history " + rtest::ShellQuote(store.dir.Dir()));
  EXPECT_EQ(history.status, 0) << history.output;
  EXPECT_EQ(history.output, "box App||无法打开参数历史：没有打开 .xlsx 文件的默认程序\n");
  // Nothing was written anywhere.
  EXPECT_FALSE(std::filesystem::exists(desktop.root.Path() / "home/qelmora"));
  EXPECT_TRUE(std::filesystem::is_empty(desktop.Tmp()));
}

}  // namespace
