// Which rows of the history a listing shows: the filters of `qelmora-cli history` (CSV and
// workbook) and the series the dialog's "参数历史…" shows. One definition of what each filter means,
// Matches; every reader of the history goes through it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/parameter_store.h"

struct HistoryFilter {
  std::string sourceGlob;   // --source: a shell pattern on the model file's stored path (SourceMatches)
  std::string since;        // --since YYYY-MM-DD: imported on that day or later (UTC)
  std::string until;        // --until YYYY-MM-DD: imported on that day or earlier, the whole day included
  std::string workstation;  // --workstation: exactly this "user@host" (a lab store)
  std::string by;           // --by: imported by exactly this database role (a lab store)
  std::optional<std::string> folder;  // the dialog's series: exactly this folder of the model file

  bool Empty() const;
  // The days the store may narrow its walk to (ParameterStore::ReadHistory); Matches decides.
  ParameterStore::Days Days() const { return {since, until}; }
  // Whether the row is one the listing shows. A row without an import time passes no date filter.
  bool Matches(const StoredRow& row) const;
  // The filters as the user gave them ("--source 'cellA/*' --since 2026-01-01"), for messages and the
  // workbook's note; empty without filters.
  std::string Describe() const;
};

// Whether a model file's stored path matches a --source pattern: on Linux fnmatch(3) without flags
// ('*' and '?' also match '/', [...] classes); on Windows PathMatchSpecA ('*' and '?', any case).
bool SourceMatches(const std::string& pattern, const std::string& path);

// Takes the filter options and their values out of args. A bad value (no ISO date, an empty text)
// raises OperationError naming the option.
HistoryFilter TakeHistoryFilter(std::vector<std::string>* args);

// Refuses filters the store cannot answer: --by and --workstation where the store does not record
// who imported a row or where (OperationError).
void CheckHistoryFilterFor(const HistoryFilter& filter, const ParameterStore& store);
