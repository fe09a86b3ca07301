#include "history/history_filter.h"

#include <utility>

#include "history/history_series.h"

namespace {

// Whether text is an ISO date YYYY-MM-DD.
bool IsIsoDate(const std::string& text) {
  return text.size() == 10 && ParseImportTime(text + "T00:00:00Z").has_value();
}

// The text in single quotes for a shell, as the user could type it again.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

bool HistoryFilter::Empty() const {
  return sourceGlob.empty() && since.empty() && until.empty() && workstation.empty() && by.empty() && !folder;
}

bool HistoryFilter::Matches(const StoredRow& row) const {
  const std::string& source = row.provenance[kSource];
  if (!sourceGlob.empty() && (source.empty() || !SourceMatches(sourceGlob, source))) return false;
  if (folder && (source.empty() || SeriesFolder(source) != *folder)) return false;
  if (!since.empty() || !until.empty()) {
    const std::string& at = row.provenance[kImportedAt];
    if (!ParseImportTime(at)) return false;
    const std::string day = at.substr(0, 10);  // ISO dates compare as texts
    if (!since.empty() && day < since) return false;
    if (!until.empty() && day > until) return false;
  }
  if (!workstation.empty() && row.workstation != workstation) return false;
  if (!by.empty() && row.importedBy != by) return false;
  return true;
}

std::string HistoryFilter::Describe() const {
  std::string text;
  const std::pair<const char*, const std::string*> options[] = {
      {"--source", &sourceGlob}, {"--since", &since}, {"--until", &until}, {"--workstation", &workstation}, {"--by", &by}};
  for (const auto& [name, value] : options) {
    if (!value->empty()) text += std::string(text.empty() ? "" : " ") + name + " " + Quoted(*value);
  }
  if (folder) text += std::string(text.empty() ? "" : " ") + "文件夹 " + *folder;
  return text;
}

HistoryFilter TakeHistoryFilter(std::vector<std::string>* args) {
  HistoryFilter filter;
  const std::pair<const char*, std::string*> options[] = {{"--source", &filter.sourceGlob},
                                                          {"--since", &filter.since},
                                                          {"--until", &filter.until},
                                                          {"--workstation", &filter.workstation},
                                                          {"--by", &filter.by}};
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args->size(); ++i) {
    std::string* target = nullptr;
    for (const auto& [name, value] : options) {
      if ((*args)[i] == name) target = value;
    }
    if (target == nullptr) {
      rest.push_back((*args)[i]);
      continue;
    }
    const std::string& option = (*args)[i];
    if (i + 1 == args->size() || (*args)[i + 1].empty()) throw OperationError(option + " 需要一个值");
    *target = (*args)[++i];
    if ((target == &filter.since || target == &filter.until) && !IsIsoDate(*target)) {
      throw OperationError(option + " 需要 ISO 日期（YYYY-MM-DD）：" + *target);
    }
  }
  *args = std::move(rest);
  return filter;
}

void CheckHistoryFilterFor(const HistoryFilter& filter, const ParameterStore& store) {
  if (store.Shared()) return;
  for (const auto& [name, value] : {std::pair{"--by", &filter.by}, std::pair{"--workstation", &filter.workstation}}) {
    if (!value->empty()) {
      throw OperationError(std::string(name) + " 只适用于实验室数据库：" + store.Name() +
                           " 不记录导入者和工作站");
    }
  }
}
