// The import: the element values of the model file become one new row of table1.
#include "model/import.h"

#include <chrono>

#include "app/afx.h"
#include "app/globals.h"
#include "model/model_reader.h"
#include "store/store.h"

namespace {

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

}  // namespace

bool ImportModelFile() {
  // A new row is pending in the store before the first line of the model file is read; each value
  // goes into it as its block is read. The first failed write ends the import, the row dropped.
  std::unique_ptr<PendingRow> row;
  try {
    row = TheParameterStore().StartRow();
    std::size_t values = 0;
    bool cutLine = false;
    const bool foundElement = WalkModelFile(
        g_strModelPath,
        [&](const std::string& column, const std::string& value) {
          row->Put(column, value);
          ++values;
        },
        &cutLine);
    // Saving an empty row would silently make an empty parameter set the current one; a value from a
    // line cut short would be a wrong one.
    const char* refusal = nullptr;
    if (!foundElement) {
      refusal = "模型文件 %s 中找不到元件(Element)，未插入任何数据!";
    } else if (cutLine) {
      refusal = "模型文件 %s 无法完整读取(超出10000字节的行被截断)，未插入任何数据!";
    } else if (values == 0) {
      refusal = "模型文件 %s 中没有读到任何参数值，未插入任何数据!";
    }
    if (refusal != nullptr) {
      row->Drop();
      AfxMessageBox(Format(refusal, g_strModelPath.c_str()));
      return false;
    }
    // When and from which file.
    row->Save({ImportTime(), g_strModelPath});
  } catch (const StoreError& error) {
    if (row) row->Drop();
    AfxMessageBox(error.what());
    return false;
  } catch (const FileException&) {
    // The reader has shown its message; the failed read ends the whole command. The row is dropped
    // so that the store is as the next command needs it.
    if (row) row->Drop();
    throw;
  }

  AfxMessageBox("插入成功!");
  return true;
}
