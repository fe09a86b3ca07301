// qelmora-cli [--store DIR] import FILE...: each file as the dialog's OK imports a path that came
// from the command line (the path is not shown first). In a batch of several files every line of a
// file's messages begins with the file as it was named, so that the lines can be told apart.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "base/afx.h"
#include "app/cli.h"
#include "app/globals.h"
#include "base/platform.h"
#include "model/import.h"
#include "model/model_reader.h"
#include "app/import_command.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

// The messages of one file's import, each of their lines led by "FILE: ", passed on to the sink
// that was installed before.
class FileMessages final : public MessageBoxes {
 public:
  explicit FileMessages(const std::string& file) : m_inner(AfxGetMessageBoxes()), m_lead((file.empty() ? "\"\"" : file) + ": ") {
    AfxSetMessageBoxes(this);
  }
  ~FileMessages() override { AfxSetMessageBoxes(&m_inner); }
  FileMessages(const FileMessages&) = delete;
  FileMessages& operator=(const FileMessages&) = delete;

  int AppMessageBox(const std::string& text, unsigned type) override {
    return m_inner.AppMessageBox(Led(text), type);
  }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_inner.DialogMessageBox(Led(text), caption, type);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_inner.OwnerlessMessageBox(Led(text), caption, type);
  }

 private:
  std::string Led(const std::string& text) const {
    std::string led = m_lead;
    for (std::size_t i = 0; i < text.size(); ++i) {
      led += text[i];
      if (text[i] == '\n' && i + 1 < text.size()) led += m_lead;
    }
    return led;
  }

  MessageBoxes& m_inner;
  std::string m_lead;
};

// Takes an option out of args; true when it was there.
bool TakeOption(std::vector<std::string>& args, const char* option) {
  const auto at = std::find(args.begin(), args.end(), option);
  if (at == args.end()) return false;
  args.erase(at);
  return true;
}

}  // namespace

int CliImport(const CliContext& context, const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  // --again: import a file whose bytes this workstation's newest row from it already holds; not
  // importing it then is no failure (exit status 0), since nothing went wrong. --no-outbox: a lab
  // store's server that cannot be reached fails the import instead of the row waiting in the outbox.
  const bool again = TakeOption(args, "--again");
  KeepImportsWhenAway(!TakeOption(args, "--no-outbox"));
  if (args.empty()) {
    CliUsage();
    return 2;
  }
  // A connection failure is printed here; each import then reports its own failed store calls.
  CliOpenStore(context);

  bool allSaved = true;
  for (const std::string& file : args) {
    std::optional<FileMessages> messages;
    if (args.size() > 1) messages.emplace(file);
    // The store records where the model came from: the full path, as the dialog has it.
    const std::string path = AbsolutePath(file);
    if (path.empty()) {
      AfxMessageBox("请查找mdl文件!");
      allSaved = false;
      continue;
    }
    bool skipped = false;
    const auto importAgain = [&](const std::string& importedAt) {
      if (again) return true;
      skipped = true;
      AfxMessageBox(ImportAgainQuestion(importedAt) + "\n未再导入；要再导入一次请加 --again");
      return false;
    };
    try {
      if (!RunImport(path, importAgain) && !skipped) allSaved = false;
    } catch (const FileException& error) {
      // The failed read ends the import of this file; the next file goes on.
      AfxMessageBox(error.ReportText());
      allSaved = false;
    }
  }

  CloseParameterStore();
  return allSaved ? 0 : 1;
}
