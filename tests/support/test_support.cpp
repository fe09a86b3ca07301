#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "store/store.h"

namespace qtest {

ScriptedMessageBoxes::ScriptedMessageBoxes() : m_previous(&AfxGetMessageBoxes()) { AfxSetMessageBoxes(this); }

ScriptedMessageBoxes::~ScriptedMessageBoxes() { AfxSetMessageBoxes(nullptr); }

int ScriptedMessageBoxes::Next() {
  if (m_answers.empty()) return kIdOk;
  const int answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

int ScriptedMessageBoxes::AppMessageBox(const std::string& text, unsigned type) {
  m_boxes.push_back({BoxKind::App, text, {}, type});
  return Next();
}

int ScriptedMessageBoxes::DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  m_boxes.push_back({BoxKind::Dialog, text, caption, type});
  return Next();
}

int ScriptedMessageBoxes::OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  m_boxes.push_back({BoxKind::Ownerless, text, caption, type});
  return Next();
}

std::vector<std::string> ScriptedMessageBoxes::Texts() const {
  std::vector<std::string> texts;
  for (const ShownBox& box : m_boxes) texts.push_back(box.text);
  return texts;
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    std::ostringstream name;
    name << "qelmora-test-" << random() << '-' << counter++;
    m_path = base / name.str();
    if (std::filesystem::create_directory(m_path)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission where a test removed it, so that everything can be deleted.
  for (auto it = std::filesystem::recursive_directory_iterator(
           m_path, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Dir() const {
  std::string dir = m_path.string();
  if (dir.back() != kPathSeparator) dir += kPathSeparator;
  return dir;
}

TestPlatform::TestPlatform() : m_previous(&ThePlatform()) { SetPlatform(this); }

TestPlatform::~TestPlatform() { SetPlatform(m_previous == &RealPlatform() ? nullptr : m_previous); }

std::string TestPlatform::ModuleFileName() {
  if (moduleFileNameUnknown) return std::string();
  return moduleFileName.empty() ? RealPlatform().ModuleFileName() : moduleFileName;
}

std::string TestPlatform::SystemDirectory() {
  return systemDirectory.empty() ? RealPlatform().SystemDirectory() : systemDirectory;
}

std::string TestPlatform::TempPath() { return tempPath.empty() ? RealPlatform().TempPath() : tempPath; }

bool TestPlatform::Exists(const std::string& path) { return RealPlatform().Exists(path); }

int TestPlatform::WriteWholeFileExclusive(const std::string& path, const std::string& bytes) {
  return RealPlatform().WriteWholeFileExclusive(path, bytes);
}

void TestPlatform::OleInit() { RealPlatform().OleInit(); }

bool TestPlatform::StartProgram(const std::string& program, const std::string& workingDirectory) {
  started.emplace_back(program, workingDirectory);
  return startReal ? RealPlatform().StartProgram(program, workingDirectory) : startResult;
}

void TestPlatform::ExitProcess(int status) { throw ProcessExit{status}; }

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string ModelText(const std::vector<std::string>& values) {
  // values: L0, R0, R1, CPE1-T, CPE1-P, R2, CPE2-T, CPE2-P, R3, CPE3-T, CPE3-P
  std::vector<std::string> lines;
  int element = 0;
  auto single = [&](const char* name, const std::string& value, const char* code) {
    lines.push_back("Element " + std::to_string(element++) + " Type: " + code);
    lines.push_back("  Name: " + std::string(name));
    lines.push_back("  Fixed: N");
    lines.push_back("  Value: " + value);
    lines.push_back("  Limits: none");
  };
  auto cpe = [&](const char* name, const std::string& t, const std::string& p) {
    lines.push_back("Element " + std::to_string(element++) + " Type: 11");
    lines.push_back("  Name: " + std::string(name));
    lines.push_back("  Fixed T: N");
    lines.push_back("  Value: " + t);
    lines.push_back("  Limits T: none");
    lines.push_back("  Fixed P: N");
    lines.push_back("  Value: " + p);
    lines.push_back("  Limits P: none");
  };
  single("L0", values.at(kL0), "3");
  single("R0", values.at(kR0), "1");
  single("R1", values.at(kR1), "1");
  cpe("CPE1", values.at(kCpe1T), values.at(kCpe1P));
  single("R2", values.at(kR2), "1");
  cpe("CPE2", values.at(kCpe2T), values.at(kCpe2P));
  single("R3", values.at(kR3), "1");
  cpe("CPE3", values.at(kCpe3T), values.at(kCpe3P));
  lines.push_back("End of model");
  return CrLfLines(lines);
}

std::string ModelCutAfter(const std::string& model, const std::string& cutAfter) {
  const std::size_t window = 10000;
  const std::size_t at = model.find(cutAfter);
  if (at == std::string::npos || at + cutAfter.size() + 3 > window) throw std::logic_error("no such cut");
  return std::string(window - at - cutAfter.size() - 2, '#') + "\r\n" + model;
}

std::filesystem::path TestDataDir() { return std::filesystem::path(QELMORA_TEST_DATA_DIR); }

}  // namespace qtest
