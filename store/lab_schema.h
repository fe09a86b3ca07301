// The lab store's table (qelmora.table1 on a PostgreSQL server) as SQL: what init-store makes, the
// schema check that every opening runs before anything touches the table, and the statements of an
// import, the current set and the history. Shared by the backends that reach the server (libpq on
// Linux, lab_store_linux.cpp; ODBC on Windows, odbc_store_win.cpp); how a statement is sent and its
// parameters bound is theirs.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/parameter_store.h"

namespace lab {

// The longest a statement may run and wait for a lock, in milliseconds, unless the location or the
// role sets less (statement_timeout, lock_timeout).
inline constexpr long kStatementLimit = 30000;
inline constexpr long kLockLimit = 10000;

// The time a row is shown with: the server's for an import, the one its PC recorded for a copied row.
inline constexpr const char* kShownTime = "CASE WHEN copied_from IS NULL THEN imported_at ELSE recorded_at END";

// The eleven parameter columns as SQL, in table order, separated by ", "; the same of the fit-quality columns.
std::string ParameterColumnList();
std::string QualityColumnList();

// A time as the program writes it: UTC, "YYYY-MM-DDTHH:MM:SSZ".
std::string ProgramTime(const std::string& time);

// What a read gives, in this order: the parameters, the time, the source, the role, the
// workstation and the fit-quality columns. ReadField is the field of a row that column fills.
std::string ReadColumns();
inline constexpr std::size_t kReadColumnCount = kParameterCount + 4 + kQualityCount;
std::string& ReadField(StoredRow& row, std::size_t column);

// init-store's statements, in order, to run in one transaction.
std::vector<std::string> CreateStatements();

// The columns of the table1 that the release before made in the database's default schema, as the
// columns fact describes them; init-store brings its rows into qelmora.table1.
inline constexpr const char* kEarlierTable = "public.table1";
inline constexpr const char* kEarlierColumns =
    "id bigint not null always identity,L0 text,R0 text,R1 text,CPE1-T text,CPE1-P text,R2 text,CPE2-T text,"
    "CPE2-P text,R3 text,CPE3-T text,CPE3-P text,imported_at timestamp with time zone,source text,"
    "imported_by text not null,workstation text not null,copied_from text";

// The schema check: one row whose column 0 says whether `table` is there ("t"/"true"), and then one
// text per fact it compares. Where the columns fact stands among them (column kColumnsFact + 1).
std::string SchemaQuery(const char* table);
inline constexpr std::size_t kColumnsFact = 2;

// Whether table1 is there and, when it is, the first fact that differs from init-store's table
// (empty when none does).
struct SchemaState {
  bool present = false;
  std::string difference;
  bool earlier = false;  // absent, and the release before's table1 is there to be brought over
  bool withoutImportIds = false;  // as init-store made it before imports carried their id
};

// Compares the check's row (its columns by number, nullopt for NULL) with init-store's table: the
// first fact that differs, named as the user is told it (empty when none does), and whether the row
// is exactly the table as init-store made it before imports carried their id.
void CompareSchema(const std::function<std::optional<std::string>(std::size_t column)>& value, SchemaState& state);

// init-store's upgrade of a table made before imports carried their id: the columns import_id,
// read_at and content_sha256, their indexes and the members' right to set them; in one transaction.
std::vector<std::string> ImportIdUpgradeStatements();

// Raises the StoreError that names why the store `name` (host/database) is not used, unless the
// table is init-store's.
void RefuseOtherSchema(const std::string& name, const SchemaState& schema);

using ImportedValues = std::array<std::optional<std::string>, kParameterCount>;

// One import as the server receives it: besides the values, the id its importer made (the server
// keeps it unique, so the same id sent twice is one row), when the file was read (imported_at is
// when the row arrived) and the digest of the bytes read.
struct Import {
  std::string importId;       // 128 random bits as a UUID text (ImportIdText)
  std::string readAt;         // when the model file was read, UTC "YYYY-MM-DDThh:mm:ssZ"
  std::string source;         // the model file's path
  std::string contentSha256;  // the digest of the bytes read, hexadecimal; empty when not known
  ImportedValues values;      // nullopt: the file gave none
  QualityTexts quality;
};

// 16 random bytes as an import id: a UUID of version 4 (the version and variant bits set here).
std::string ImportIdText(std::array<unsigned char, 16> bits);

// An import: one INSERT … ON CONFLICT (import_id) DO NOTHING RETURNING id of kImportValueCount
// values, in this order: the eleven parameters, the model file's path (source), the workstation,
// the fit-quality texts, the import id, the time read and the digest. `mark` gives the placeholder
// of the value numbered from 1 ("$1" for libpq, "?" for ODBC). No row back: the id was there
// already (sent before, its answer lost), which ImportIdQuery (one parameter, the id) confirms.
inline constexpr std::size_t kImportValueCount = kParameterCount + 2 + kQualityCount + 3;
std::string ImportStatement(const std::function<std::string(std::size_t number)>& mark);
std::string ImportIdQuery(const std::string& mark);
// An import's values in ImportStatement's order (an empty text as NULL), and how the user is told
// of the value numbered i from 0 (its column, "模型文件的路径", …).
std::vector<std::optional<std::string>> ImportValues(const Import& import, const std::string& workstation);
std::string ImportValueName(std::size_t index);

// The digest and the time read (program time) of this workstation's newest import by this role from
// one model file, the three given as SQL (placeholders).
std::string SourceImportQuery(const std::string& workstation, const std::string& role, const std::string& source);

// A row being imported into the lab store `name` (host/database): the values as Put gives them,
// with the time read and the source of Save and the digest `digest` makes of PutContent's bytes (none
// without one), handed to `save`, whose text SavedNote gives. A column the table lacks is refused by Put.
class ImportRow final : public PendingRow {
 public:
  using Saver = std::function<std::string(Import&)>;
  using Digest = std::function<std::string(const std::string& bytes)>;
  ImportRow(std::string name, Saver save, Digest digest = {})
      : m_name(std::move(name)), m_save(std::move(save)), m_digest(std::move(digest)) {}
  void Put(const std::string& column, const std::string& value) override;
  void Save(const Provenance& provenance) override;
  void PutQuality(const QualityTexts& quality) override { m_import.quality = quality; }
  void PutContent(const std::string& bytes) override {
    if (m_digest) m_import.contentSha256 = m_digest(bytes);
  }
  std::string SavedNote() const override { return m_note; }
  void Drop() noexcept override { m_import = {}; }

 private:
  std::string m_name;
  Saver m_save;
  Digest m_digest;
  Import m_import;
  std::string m_note;
};

// The current set: the newest import (not copied) of this workstation by this role, both given as
// SQL (placeholders or an expression); and the history, every row in the order it is shown.
std::string CurrentSetQuery(const std::string& workstation, const std::string& role);
std::string HistoryQuery();
std::string NoCurrentSetText(const std::string& name, const std::string& workstation, const std::string& role);

// A text from the driver or the server as the terminal may show it (UTF-8): control characters
// other than the line feed (an escape sequence in a host name, say) written as \xNN, those of C1 as \u00NN.
std::string Printable(const std::string& text);

}  // namespace lab
