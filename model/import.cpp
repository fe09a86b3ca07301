// The import: the element values of the model file become one new row of table1.
#include "model/import.h"

#include <chrono>

#include "app/afx.h"
#include "app/globals.h"
#include "model/model_reader.h"
#include "store/store.h"

namespace {

// Drops the pending new row and closes the recordset, so that table1 stays unchanged and the next
// command can open the recordset again. Either step may fail when the recordset is already closed;
// the failure that brought us here has been reported, so these are not.
void DropPendingRow() {
  try {
    g_pRecordset->CancelUpdate();
  } catch (const ComError&) {
  }
  try {
    g_pRecordset->Close();
  } catch (const ComError&) {
  }
}

void ReportComError(const ComError& error) { AfxMessageBox(ComErrorText(error.Error())); }

// The time of the import, UTC, as "YYYY-MM-DDThh:mm:ssZ".
std::string ImportTime() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date(day);
  const hh_mm_ss time(now - day);
  return Format("%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
}

// When and from which file, into the pending row, after the file's values (a file's element of the
// same name does not win). A table without these columns (a store of the earlier program) is left
// as it is: the row is saved without them.
void PutProvenance() {
  const Provenance provenance = {ImportTime(), g_strModelPath};
  for (std::size_t i = 0; i < kProvenanceCount; ++i) {
    try {
      g_pRecordset->PutCollect(kProvenanceColumns[i], provenance[i]);
    } catch (const ComError& error) {
      if (error.Error() != kHrItemNotFound) throw;
    }
  }
}

// Why the row of the walk is not saved, naming the file; empty when it is saved.
std::string RefusalText(const ModelWalk& walk, std::size_t values) {
  const char* file = g_strModelPath.c_str();
  const char* element = walk.element.c_str();
  switch (walk.fault) {
    case ModelFileFault::noElement: return Format("模型文件 %s 中找不到元件(Element)，未插入任何数据!", file);
    case ModelFileFault::cutShort:
      if (walk.element.empty()) return Format("模型文件 %s 不完整(文件在一个元件的数据中间结束)，未插入任何数据!", file);
      return Format("模型文件 %s 不完整(文件在元件 %s 的数据中间结束)，未插入任何数据!", file, element);
    case ModelFileFault::cutByWindow:
      return Format("模型文件 %s 无法完整读取(元件数据超出只读取的前10000字节)，未插入任何数据!", file);
    case ModelFileFault::changed:
      return Format("模型文件 %s 在读取期间被改动，未插入任何数据!\r\n请等拟合程序保存完该文件后重新导入。", file);
    case ModelFileFault::notANumber:
      return Format("模型文件 %s 中元件 %s 的值 \"%s\" 不是数字，未插入任何数据!", file, element,
                    walk.value.c_str());
    case ModelFileFault::none: break;
  }
  if (values == 0) return Format("模型文件 %s 中没有读到任何参数值，未插入任何数据!", file);
  return std::string();
}

}  // namespace

bool ImportModelFile() {
  // 1. The recordset over table1. A failure is reported and the import goes on with the recordset
  //    as it is: one that an earlier command left open serves as if opened here.
  bool openFailed = false;
  try {
    OpenTableRecordset();
  } catch (const ComError& error) {
    ReportComError(error);
    openFailed = true;
  }

  // 2. Behind the last row.
  try {
    while (!g_pRecordset->GetEOF()) g_pRecordset->MoveNext();
  } catch (const ComError& error) {
    // A recordset that did not open fails here with the same cause, which is already shown.
    if (!openFailed) ReportComError(error);
    DropPendingRow();
    return false;
  }

  // 3. to 5. A new row, one value per column the file yields, then save it. The first failed write
  //    ends the import: after it the recordset is closed and every later write would fail as well.
  try {
    g_pRecordset->AddNew();
    std::size_t values = 0;
    const ModelWalk walk = WalkModelFile(g_strModelPath, [&values](const std::string& column,
                                                                   const std::string& value) {
      g_pRecordset->PutCollect(column, value);
      ++values;
    });
    // Saving an empty row would silently make an empty parameter set the current one; a file read
    // only in part, or a value that is no number, would make a wrong one for ever.
    const std::string refusal = RefusalText(walk, values);
    if (!refusal.empty()) {
      DropPendingRow();
      AfxMessageBox(refusal);
      return false;
    }
    PutProvenance();
    g_pRecordset->Update();
  } catch (const ComError& error) {
    ReportComError(error);
    DropPendingRow();
    return false;
  } catch (const FileException&) {
    // The reader has shown its message; the failed read ends the whole command. Leave the store
    // as the next command needs it.
    DropPendingRow();
    throw;
  }

  // 6. and 7.
  AfxMessageBox("插入成功!");
  try {
    g_pRecordset->Close();
  } catch (const ComError& error) {
    // The row is saved; only the recordset stays as it is.
    ReportComError(error);
  }
  return true;
}
