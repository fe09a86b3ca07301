// Shared pieces of the fuzzers: a scratch directory on a memory file system where one exists, a
// message box sink that records, and a hard check that aborts with a readable reason.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/afx.h"

namespace fuzzsupport {

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what.c_str());
  std::abort();
}

inline void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

// A fresh directory for this process (under /dev/shm when it exists, else the temp directory),
// ending in '/'. Removed at exit.
std::string ScratchDirectory();

// Writes the bytes to the file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);

class RecordingBoxes final : public MessageBoxes {
 public:
  int AppMessageBox(const std::string& text, unsigned) override { return Add(text); }
  int DialogMessageBox(const std::string& text, const std::string&, unsigned) override { return Add(text); }
  int OwnerlessMessageBox(const std::string& text, const std::string&, unsigned) override { return Add(text); }
  std::vector<std::string> texts;

 private:
  int Add(const std::string& text) {
    texts.push_back(text);
    return kIdOk;
  }
};

// A printable form of a byte string for failure reports.
std::string Escape(const std::string& bytes);

// Another process held a lock on the scratch file (a sharing violation): not the reader's fault.
// Notes it on stderr (with the holders, where fuser can tell) and waits a little before the input is
// tried again. Returns false once it has happened too often in a row for one input.
bool WaitOutForeignLock(const std::string& path, int attempt);

}  // namespace fuzzsupport
