#include "report/chart_parts_linux.h"

#include <zip.h>

#include <memory>

std::string WithCellErrorBars(std::string xml, const std::vector<std::string>& refs) {
  std::size_t at = 0;
  for (const std::string& ref : refs) {
    at = xml.find("<c:errBars>", at);
    if (at == std::string::npos) break;
    const std::size_t end = xml.find("</c:errBars>", at);
    if (end == std::string::npos) break;
    std::string bars = xml.substr(at, end - at);
    const std::string fixed = "<c:errValType val=\"fixedVal\"/>";
    const std::size_t type = bars.find(fixed);
    const std::size_t value = bars.find("<c:val ");
    if (type != std::string::npos && value != std::string::npos) {
      const std::size_t valueEnd = bars.find("/>", value) + 2;
      const std::string cells = "<c:numRef><c:f>" + ref + "</c:f></c:numRef>";
      // The schema's order: errValType, noEndCap, plus, minus, val, spPr.
      bars.replace(value, valueEnd - value, "<c:plus>" + cells + "</c:plus><c:minus>" + cells + "</c:minus>");
      bars.replace(type, fixed.size(), "<c:errValType val=\"cust\"/>");
      xml.replace(at, end - at, bars);
    }
    at += bars.size();
  }
  return xml;
}

std::string RewriteChartParts(const std::string& file, std::size_t charts,
                              const std::function<std::string(std::size_t, std::string)>& change) {
  int error = 0;
  zip_t* archive = zip_open(file.c_str(), 0, &error);
  if (archive == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, error);
    std::string text = zip_error_strerror(&reason);
    zip_error_fini(&reason);
    return text;
  }
  const auto fail = [&] {
    std::string reason = zip_strerror(archive);
    zip_discard(archive);
    return reason;
  };
  std::vector<std::string> parts(charts);  // alive until the archive is written
  for (std::size_t i = 0; i < charts; ++i) {
    const std::string name = "xl/charts/chart" + std::to_string(i + 1) + ".xml";
    zip_stat_t stat;
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
    if (index < 0 || zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) return fail();
    zip_file_t* part = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (part == nullptr) return fail();
    std::string xml(stat.size, '\0');
    const zip_int64_t read = zip_fread(part, xml.data(), xml.size());
    zip_fclose(part);
    if (read != static_cast<zip_int64_t>(xml.size())) return fail();
    parts[i] = change(i, std::move(xml));
    zip_source_t* source = zip_source_buffer(archive, parts[i].data(), parts[i].size(), 0);
    if (source == nullptr) return fail();
    if (zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0) != 0) {
      zip_source_free(source);
      return fail();
    }
  }
  if (zip_close(archive) != 0) return fail();
  return {};
}
