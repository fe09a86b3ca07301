// The import's store work: the element values of a model file become one new row of a store.
#pragma once

#include <string>

#include "base/errors.h"

class ParameterStore;

// What a saved import did. The row is in the store; qualityNote says why it keeps no fit quality
// although measured data lay beside the model file (empty otherwise).
struct ImportOutcome {
  std::string qualityNote;
  // What the user is told: "插入成功!" and the note.
  std::string Text() const { return "插入成功!" + qualityNote; }
};

// A model file whose row is not saved: no element, cut short, changed while it was read, a value that
// is no number, or no value at all. what() names the file and the reason.
class ModelFileRefused : public OperationError {
 public:
  using OperationError::OperationError;
};

// Appends the element values of the model file at path as one new row of store, with the import's
// time and path as provenance. Reads from g_nModelReadPos on (the command sets it to 0). Raises
// ModelFileRefused, StoreError, or FileException for a file that cannot be read; on every failure
// the store is as it was and usable.
ImportOutcome ImportModelFile(ParameterStore& store, const std::string& path);
