#include "app/import_command.h"

#include "base/afx.h"
#include "model/model_reader.h"
#include "report/report_sheets.h"
#include "store/store.h"

std::string ImportAgainQuestion(const std::string& importedAt) {
  return "该文件内容已于 " + SummaryTimeOfStored(importedAt) + " 导入，确定再导入一次吗?";
}

bool RunImport(const std::string& path, const ImportAgainRule& importAgain) {
  g_nModelReadPos = 0;
  const ImportAgainRule askUser = [](const std::string& importedAt) {
    return AfxMessageBox(ImportAgainQuestion(importedAt), kMbOkCancel) == kIdOk;
  };
  try {
    const ImportOutcome outcome = ImportModelFile(TheParameterStore(), path, importAgain ? importAgain : askUser);
    if (outcome.skipped) return false;
    AfxMessageBox(outcome.Text());
    return true;
  } catch (const FileException& e) {
    AfxMessageBox(e.NoticeText());
    throw;
  } catch (const ProgramError& e) {
    AfxMessageBox(e.what());
    return false;
  }
}
