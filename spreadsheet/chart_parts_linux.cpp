#include "spreadsheet/chart_parts_linux.h"

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

std::string RewriteParts(const std::string& file, const std::vector<PartChange>& changes) {
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
  std::vector<NewPart> parts(changes.size());  // alive until the archive is written
  for (std::size_t i = 0; i < changes.size(); ++i) {
    zip_stat_t stat;
    const zip_int64_t found = zip_name_locate(archive, changes[i].name.c_str(), 0);
    if (found < 0 || zip_stat_index(archive, static_cast<zip_uint64_t>(found), 0, &stat) != 0) return fail();
    const auto index = static_cast<zip_uint64_t>(found);
    zip_file_t* part = zip_fopen_index(archive, index, 0);
    if (part == nullptr) return fail();
    std::string xml(stat.size, '\0');
    const zip_int64_t read = zip_fread(part, xml.data(), xml.size());
    zip_fclose(part);
    if (read != static_cast<zip_int64_t>(xml.size())) return fail();
    parts[i] = changes[i].change(std::move(xml));
    if (parts[i].file.empty()) {
      zip_source_t* source = zip_source_buffer(archive, parts[i].xml.data(), parts[i].xml.size(), 0);
      if (source == nullptr) return fail();
      if (zip_file_replace(archive, index, source, 0) != 0) {
        zip_source_free(source);
        return fail();
      }
      continue;
    }
    // A file's part is a new entry of the same name: libzip 1.7 keeps a replaced entry's level of
    // compression (its best, which takes ten times as long).
    zip_source_t* source = zip_source_file(archive, parts[i].file.c_str(), 0, -1);
    if (source == nullptr) return fail();
    if (zip_delete(archive, index) != 0) {
      zip_source_free(source);
      return fail();
    }
    const zip_int64_t added = zip_file_add(archive, changes[i].name.c_str(), source, 0);
    if (added < 0) {
      zip_source_free(source);
      return fail();
    }
    if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(added), ZIP_CM_DEFLATE, 1) != 0) return fail();
  }
  if (zip_close(archive) != 0) return fail();
  return {};
}
