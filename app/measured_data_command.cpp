// "测量数据…": the measured data file for the report of this run, chosen in the Open dialog.
#include <string>

#include "app/main_dialog.h"
#include "instrument/measured_data.h"

void MainDialog::OnMeasuredData() {
  std::string patterns;
  for (const char* extension : kMeasuredDataExtensions) patterns += (patterns.empty() ? "*" : " *") + std::string(extension);
  OpenFileRequest request;
  request.title = "测量数据";
  request.defaultExtension = "mpt";
  request.filters = {{"测量数据(" + patterns + ")", patterns}, {"FILE(*.*)", "*.*"}};
  const std::optional<OpenFileResult> chosen = m_view.ShowOpenFileDialog(request);
  if (!chosen) return;
  // Read once now, so that the user learns at once what the report will draw.
  try {
    const MeasuredData data = ReadMeasuredData(chosen->pathName);
    m_strDataPath = chosen->pathName;
    AfxMessageBox("测量数据：" + chosen->fileName + "（" + data.format + "，" + std::to_string(data.points.size()) +
                  " 个点，" + SweepText(data) + "）");
  } catch (const OperationError& e) {
    AfxMessageBox("无法读取测量数据文件 " + chosen->pathName + "：" + e.what());
  }
}
