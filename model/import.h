// The import's store work: the element values of a model file become one new row of a store.
#pragma once

#include <functional>
#include <string>

#include "base/errors.h"

class ParameterStore;

// What an import did. skipped: the file's bytes were those of this workstation's newest row from it,
// and it was not imported again; else the row is in the store (or, for a lab store that could not be
// reached, in the outbox: savedNote says so). qualityNote says why the row keeps no fit quality
// although measured data lay beside the model file (empty otherwise).
struct ImportOutcome {
  bool skipped = false;
  std::string savedNote;
  std::string qualityNote;
  // What the user is told of a saved row: "插入成功!" (or where the row waits) and the note.
  std::string Text() const { return (savedNote.empty() ? std::string("插入成功!") : savedNote) + qualityNote; }
};

// A model file whose row is not saved: no element, cut short, changed while it was read, a value that
// is no number, or no value at all. what() names the file and the reason.
class ModelFileRefused : public OperationError {
 public:
  using OperationError::OperationError;
};

// Whether to import a file again whose bytes this workstation's newest row from it holds, given that
// row's import time as the store keeps it.
using ImportAgainRule = std::function<bool(const std::string& importedAt)>;

// Appends the element values of the model file at path as one new row of store, with the import's
// time, path and the hash of the bytes read as provenance. Reads from g_nModelReadPos on (the command
// sets it to 0). A file already imported goes on only when importAgain says so. Raises
// ModelFileRefused, StoreError, or FileException for a file that cannot be read; on every failure
// the store is as it was and usable.
ImportOutcome ImportModelFile(ParameterStore& store, const std::string& path, const ImportAgainRule& importAgain);
