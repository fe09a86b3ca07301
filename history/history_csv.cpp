#include "history/history_csv.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "base/csv.h"
#include "store/store_location.h"

void WriteHistoryCsv(ParameterStore& store, std::FILE* out, const HistoryFilter& filter) {
  std::vector<std::string> fields(std::begin(kParameterColumns), std::end(kParameterColumns));
  fields.insert(fields.end(), std::begin(kProvenanceColumns), std::end(kProvenanceColumns));
  // A lab's store also says who imported each row and where.
  const bool shared = store.Shared();
  if (shared) fields.insert(fields.end(), {kImportedByColumn, kWorkstationColumn});
  // Then the quality of the fit that the import kept.
  const std::size_t qualityField = fields.size();
  fields.insert(fields.end(), std::begin(kQualityColumns), std::end(kQualityColumns));
  std::string text = CsvRecord(fields);
  std::fwrite(text.data(), 1, text.size(), out);
  store.ReadHistory([&](const StoredRow& row) {
    if (!filter.Matches(row)) return;
    // NULL: an empty field.
    std::copy(row.parameters.begin(), row.parameters.end(), fields.begin());
    std::copy(row.provenance.begin(), row.provenance.end(), fields.begin() + kParameterCount);
    if (shared) {
      constexpr std::size_t kLabFields = std::size_t{kParameterCount} + kProvenanceCount;
      fields[kLabFields] = row.importedBy;
      fields[kLabFields + 1] = row.workstation;
    }
    std::copy(row.quality.begin(), row.quality.end(), fields.begin() + static_cast<std::ptrdiff_t>(qualityField));
    text = CsvRecord(fields);
    std::fwrite(text.data(), 1, text.size(), out);
  }, filter.Days());
}
