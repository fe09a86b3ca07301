// Shared helpers of the tests: scripted message boxes, real temporary directories, a platform whose
// program directory and exit can be redirected, and small file helpers.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/afx.h"
#include "base/platform.h"

namespace qtest {

enum class BoxKind { App, Dialog, Ownerless };

struct ShownBox {
  BoxKind kind;
  std::string text;
  std::string caption;  // empty for App boxes (the application name)
  unsigned type;
};

// Records every message box and answers from a queue (OK when the queue is empty). Installed as the
// message box sink for its lifetime.
class ScriptedMessageBoxes : public MessageBoxes {
 public:
  ScriptedMessageBoxes();
  ~ScriptedMessageBoxes() override;

  int AppMessageBox(const std::string& text, unsigned type) override;
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override;

  void Answer(int answer) { m_answers.push_back(answer); }
  const std::vector<ShownBox>& Boxes() const { return m_boxes; }
  std::vector<std::string> Texts() const;
  void Clear() { m_boxes.clear(); }

 private:
  int Next();
  std::vector<ShownBox> m_boxes;
  std::deque<int> m_answers;
  MessageBoxes* m_previous;
};

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  // The path with a trailing separator, as the program forms directories.
  std::string Dir() const;

 private:
  std::filesystem::path m_path;
};

// Thrown by TestPlatform::ExitProcess instead of ending the test process.
struct ProcessExit {
  int status;
};

// The real platform, with the executable's path, the system and temporary directories optionally
// moved. Installed for its lifetime.
class TestPlatform : public Platform {
 public:
  TestPlatform();
  ~TestPlatform() override;

  std::string moduleFileName;   // empty: the real one
  bool moduleFileNameUnknown = false;  // ModuleFileName gives "", as for a path it cannot give
  std::string systemDirectory;  // empty: the real one
  std::string tempPath;         // empty: the real one
  std::vector<std::pair<std::string, std::string>> started;  // (program, working directory)
  bool startResult = true;      // what StartProgram answers when startReal is false
  bool startReal = false;       // really start the program

  std::string ModuleFileName() override;
  std::string SystemDirectory() override;
  std::string TempPath() override;
  bool Exists(const std::string& path) override;
  int WriteWholeFileExclusive(const std::string& path, const std::string& bytes) override;
  void OleInit() override;
  bool StartProgram(const std::string& program, const std::string& workingDirectory) override;
  [[noreturn]] void ExitProcess(int status) override;

 private:
  Platform* m_previous;
};

#ifndef _WIN32
// Sets (or, with nullopt, removes) an environment variable for the scope; restores it after. Linux
// tests only.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      ::setenv(m_name.c_str(), m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};
#endif

// The reason an OperationError carries when `step` raises one; empty when the step succeeds.
template <typename Step>
std::string OperationFailure(Step&& step) {
  try {
    step();
  } catch (const OperationError& e) {
    return e.what();
  }
  return {};
}

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A model file text in CR LF lines from the given lines.
std::string CrLfLines(const std::vector<std::string>& lines);

// A well-formed model with the eleven values: L0, R0, R1, R2, R3 (code "3" or "1" blocks) and
// CPE1..CPE3 (code "11" blocks). Values are given in table order.
std::string ModelText(const std::vector<std::string>& values);

// The model behind one filler line, sized so that the 10,000-byte window of the reader ends right
// after the first cutAfter in the model; the rest of the model lies past the window.
std::string ModelCutAfter(const std::string& model, const std::string& cutAfter);

// The folder of the sample model files (samples/).
std::filesystem::path TestDataDir();

}  // namespace qtest
