// A kind of parameter store: which locations are its stores, and everything the program does with
// one. A new kind is one class implementing StoreKind and one line of the registry in
// store/store_kinds.cpp; the dialog and every command reach it through StoreKindOf.
#pragma once

#include <memory>
#include <string>

#include "store/parameter_store.h"

class StoreKind {
 public:
  virtual ~StoreKind() = default;

  // Whether location names a store of this kind.
  virtual bool Recognises(const std::string& location) const = 0;
  // Whether its stores lie on a server: a location of such a kind is used as it stands, never as a
  // folder.
  virtual bool OnServer() const { return false; }

  // The store at location, opened. Raises StoreError with what the user is told.
  virtual std::unique_ptr<ParameterStore> Open(const std::string& location) const = 0;
  // init-store: a new, empty store at location (on a server: its table, or the one found complete).
  // Returns what the user is told; raises StoreError or OperationError.
  virtual std::string Init(const std::string& location) const = 0;
  // backup: a consistent copy of the store at location into the new file target, which is never
  // replaced. Returns what the user is told; raises StoreError for the store, OperationError for the
  // copy or a kind that is backed up otherwise.
  virtual std::string Backup(const std::string& location, const std::string& target) const = 0;

  // copy-history into a store of this kind. AcceptsHistory raises OperationError with why a kind
  // takes no copies; the command asks it before any store is opened. CopyHistory copies every row
  // of from into to (a store of this kind), rows copied by an earlier run skipped, and returns what
  // the user is told; it raises StoreError, and then nothing was copied.
  virtual void AcceptsHistory() const;
  virtual std::string CopyHistory(ParameterStore& to, ParameterStore& from) const;
};

// The lab's store on a PostgreSQL server, whichever way a platform reaches it: its stores lie on the
// server, which backs them up itself.
class LabStoreKind : public StoreKind {
 public:
  bool OnServer() const override { return true; }
  // Refuses: the server's own means (pg_dump) back the lab store up.
  std::string Backup(const std::string& location, const std::string& target) const override;
};

// The kind of the store at location: the first of the registry that recognises it.
const StoreKind& StoreKindOf(const std::string& location);

// The kinds of the registry. The store file in a folder takes any location; a backend with stores
// on a server provides their kind (Linux: the lab store on PostgreSQL).
const StoreKind& LocalStoreKind();
const StoreKind* ServerStoreKind();  // nullptr where there is none
