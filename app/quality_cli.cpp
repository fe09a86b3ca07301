// qelmora-cli quality: how far the current parameter set can be trusted against its measured data
// (the file beside the model file, or --data FILE), as a readable table or, with --json, one JSON
// object (report/quality_text.h).
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli.h"
#include "circuit/fit_quality.h"
#include "instrument/measured_data.h"
#include "report/quality_text.h"

int CliQuality(const CliContext& context, const std::vector<std::string>& args) {
  std::string named;
  bool json = false, bad = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json" && !json) {
      json = true;
    } else if (args[i] == "--data" && named.empty() && i + 1 < args.size() && !args[i + 1].empty()) {
      named = args[++i];
    } else {
      bad = true;
    }
  }
  if (bad) {
    CliUsage();
    return 2;
  }
  const std::optional<StoredRow> row = CliReadCurrent(context);
  if (!row) return 1;
  const MeasuredInput input = LoadMeasuredInput(named, row->provenance[kSource]);
  if (input.file.empty()) {
    std::fprintf(stderr, "当前参数的模型文件 %s 旁没有测量数据文件：请用 --data 指定\n",
                 row->provenance[kSource].empty() ? "—" : row->provenance[kSource].c_str());
    return 1;
  }
  if (!input.data) {
    std::fprintf(stderr, "无法读取测量数据文件 %s：%s\n", input.file.c_str(), input.failure.c_str());
    return 1;
  }
  const FitQuality quality = ComputeFitQuality(*input.data, row->parameters);
  const std::string text = json ? QualityJson(*input.data, quality) : QualityTable(*input.data, quality);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;  // a failed write is found by the dispatcher
}
