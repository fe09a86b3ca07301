// What the program's commands need of a parameter store, and nothing of how a backend does it.
//
// The import appends one row (StartRow, Put as the model file yields each value, then Save or Drop);
// the report, the hand-off and the spectrum read the current parameter set (ReadCurrent); the
// history CSV and workbook walk every row in order (ReadHistory); the report's summary names the
// store (Name). Backends: ADO over the Jet provider (store_win.cpp), a SQLCipher file
// (store_linux.cpp), a lab's PostgreSQL server (lab_store_linux.cpp).
//
// Every failure raises StoreError, whose what() is the text the user is shown.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/afx.h"
#include "circuit/parameter_set.h"

// When the row was imported (UTC, "YYYY-MM-DDThh:mm:ssZ") and the model file's path as the import
// opened it. Stores made by the earlier release lack them: they read as empty texts.
enum ProvenanceIndex : std::size_t { kImportedAt, kSource, kProvenanceCount };
using Provenance = std::array<std::string, kProvenanceCount>;
extern const std::array<const char*, kProvenanceCount> kProvenanceColumns;  // "imported_at", "source"

// One stored row. A lab store also says who imported it and where; other stores leave both empty.
struct StoredRow {
  ParameterSet parameters;
  Provenance provenance;
  std::string importedBy;   // the database role of the importer
  std::string workstation;  // "user@host" of the importer
  QualityTexts quality;     // all empty in a store that keeps none
};

// A failed store operation. what() is the text the user is shown; hr() is the HRESULT that text was
// formed from where the store reports by HRESULT (ADO), else 0.
class StoreError : public ProgramError {
 public:
  explicit StoreError(std::string text, HResult hr = 0)
      : ProgramError(std::move(text), hr != 0 ? FailureCause::HResultOf(hr) : FailureCause{}), m_hr(hr) {}
  HResult hr() const noexcept { return m_hr; }

 private:
  HResult m_hr;
};

// A row being imported. Nothing of it is in the store until Save; a row dropped, or destroyed
// without Save, leaves the store as it was.
class PendingRow {
 public:
  virtual ~PendingRow() = default;
  // One value by column name; a column the store does not have fails.
  virtual void Put(const std::string& column, const std::string& value) = 0;
  // Saves the row with its provenance: afterwards the store holds exactly one more complete row,
  // which is the current parameter set; on failure it holds none of it.
  virtual void Save(const Provenance& provenance) = 0;
  // The fit's quality, saved with the row by the next Save. A store whose table has no room for it
  // (the Windows store's) keeps none.
  virtual void PutQuality(const QualityTexts& /*quality*/) {}
  // The bytes of the model file that the import read, whose digest a store that keeps one saves with
  // the row by the next Save.
  virtual void PutContent(const std::string& /*bytes*/) {}
  // After Save: what the user is told instead of the plain success (the row waits in the outbox,
  // say); empty when the store holds it.
  virtual std::string SavedNote() const { return {}; }
  virtual void Drop() noexcept = 0;
};

class ParameterStore {
 public:
  virtual ~ParameterStore() = default;

  virtual std::unique_ptr<PendingRow> StartRow() = 0;

  // The current parameter set with its provenance; fails when the store holds no row yet.
  virtual StoredRow ReadCurrent() = 0;

  // Every row, oldest first.
  virtual void ReadHistory(const std::function<void(const StoredRow&)>& visit) = 0;
  // The same for a listing of the days from days.from to days.to ("YYYY-MM-DD" of the import time,
  // both included; empty: open): a store that can leave out the rows of other days cheaply does so,
  // one that cannot gives every row. The listing still decides on each row it is given.
  struct Days {
    std::string from, to;
  };
  virtual void ReadHistory(const std::function<void(const StoredRow&)>& visit, const Days& /*days*/) {
    ReadHistory(visit);
  }

  // What the report's summary names as the store: its file, or a server's host and database.
  virtual std::string Name() const = 0;

  // Whether rows carry importedBy and workstation (a store that a lab shares).
  virtual bool Shared() const { return false; }

  // What the user is to be told once the store is open (imports sent from the outbox, a server that
  // is away for now), once; empty when nothing.
  virtual std::string TakeNotice() { return {}; }

  // When this workstation's newest row from the model file `source` was read from these very bytes:
  // that row's time (UTC, "YYYY-MM-DDThh:mm:ssZ"); nullopt otherwise, and in a store that keeps no
  // digest of the bytes read.
  virtual std::optional<std::string> ImportedBefore(const std::string& /*source*/, const std::string& /*bytes*/) {
    return std::nullopt;
  }
};
