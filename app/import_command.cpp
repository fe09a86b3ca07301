#include "app/import_command.h"

#include "base/afx.h"
#include "model/import.h"
#include "model/model_reader.h"
#include "store/store.h"

bool RunImport(const std::string& path) {
  g_nModelReadPos = 0;
  try {
    AfxMessageBox(ImportModelFile(TheParameterStore(), path).Text());
    return true;
  } catch (const FileException& e) {
    AfxMessageBox(e.NoticeText());
    throw;
  } catch (const ProgramError& e) {
    AfxMessageBox(e.what());
    return false;
  }
}
