// The history as CSV: a header line, then the rows of the store oldest first, each value a field
// (NULL an empty one): the eleven parameters, the provenance, who imported the row and where (a
// lab's store only), then the quality of the fit the import kept.
#pragma once

#include <cstdio>

#include "history/history_filter.h"
#include "store/parameter_store.h"

// Writes the rows of the history of store that filter matches to out. Store failures raise
// StoreError; a failed write is left for the caller to find on out.
void WriteHistoryCsv(ParameterStore& store, std::FILE* out, const HistoryFilter& filter = {});
