// qelmora-cli [--store DIR] import FILE...: each file as the dialog's OK imports a path that came
// from the command line (the path is not shown first).
#include <cstdio>

#include "app/afx.h"
#include "app/cli.h"
#include "app/globals.h"
#include "app/platform.h"
#include "model/import.h"
#include "model/model_reader.h"
#include "store/store.h"

int CliImport(const CliContext& context, const std::vector<std::string>& args) {
  if (args.empty()) {
    CliUsage();
    return 2;
  }
  // A connection failure is printed here; each import then reports its own failed store calls.
  CliOpenStore(context);

  bool allSaved = true;
  for (const std::string& file : args) {
    // The store records where the model came from: the full path, as the dialog has it.
    g_strModelPath = AbsolutePath(file);
    g_nModelReadPos = 0;
    if (g_strModelPath.empty()) {
      AfxMessageBox("请查找mdl文件!");
      allSaved = false;
      continue;
    }
    try {
      if (!ImportModelFile()) allSaved = false;
    } catch (const FileException& error) {
      // The failed read ends the import of this file; the next file goes on.
      AfxMessageBox(error.ReportText());
      allSaved = false;
    }
  }

  CloseParameterStore();
  return allSaved ? 0 : 1;
}
