// The import: the element values of the model file become one new row of table1.
#include "model/import.h"

#include <chrono>
#include <optional>

#include "base/afx.h"
#include "model/model_reader.h"
#include "circuit/fit_quality.h"
#include "instrument/measured_data.h"
#include "store/store.h"
#include "store/parameter_store.h"

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

// Why the row of the walk is not saved, naming the file; nothing when it is saved.
std::optional<std::string> RefusalText(const std::string& path, const ModelWalk& walk, std::size_t values) {
  const char* file = path.c_str();
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
  return std::nullopt;
}

// The quality of the values against the measured data beside the model file, for the row; empty
// texts when there is no such file. A file that cannot be read keeps no quality: `note` says why.
QualityTexts QualityBesideModel(const std::string& path, const ParameterSet& values, std::string& note) {
  const std::string dataFile = FindMeasuredDataFile(path);
  if (dataFile.empty()) return {};
  try {
    return QualityColumnTexts(dataFile, ComputeFitQuality(ReadMeasuredData(dataFile), values));
  } catch (const OperationError& e) {
    note = Format("\r\n测量数据文件 %s 无法读取（%s），这一行没有保存拟合质量。", dataFile.c_str(), e.what());
    return {};
  }
}

}  // namespace

ImportOutcome ImportModelFile(ParameterStore& store, const std::string& path, const ImportAgainRule& importAgain) {
  // A new row is pending in the store before the first line of the model file is read; each value
  // goes into it as its block is read. The first failed write ends the import, the row dropped, as
  // does a file that cannot be read (so that the store is as the next command needs it).
  std::unique_ptr<PendingRow> row = store.StartRow();
  ImportOutcome outcome;
  try {
    std::size_t values = 0;
    ParameterSet parameters;  // as the row holds them, for the quality
    const ModelWalk walk = WalkModelFile(path, [&](const std::string& column, const std::string& value) {
      row->Put(column, value);
      ++values;
      for (std::size_t i = 0; i < kParameterCount; ++i) {
        if (column == kParameterColumns[i]) parameters[i] = value;
      }
    });
    // Saving an empty row would silently make an empty parameter set the current one; a file read
    // only in part, or a value that is no number, would make a wrong one for ever.
    if (const std::optional<std::string> refusal = RefusalText(path, walk, values)) throw ModelFileRefused(*refusal);
    // The same bytes as this workstation's newest row from the file (Enter pressed once more, say).
    if (const std::optional<std::string> before = store.ImportedBefore(path, walk.bytes)) {
      if (!importAgain(*before)) {
        row->Drop();
        outcome.skipped = true;
        return outcome;
      }
    }
    row->PutContent(walk.bytes);
    // The fit's quality against the measured data beside the model file goes into the same row.
    row->PutQuality(QualityBesideModel(path, parameters, outcome.qualityNote));
    // When and from which file.
    row->Save({ImportTime(), path});
  } catch (...) {
    row->Drop();
    throw;
  }
  outcome.savedNote = row->SavedNote();
  return outcome;
}
