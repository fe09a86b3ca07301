// The outbox: imports for a lab store whose server could not be reached, kept whole in an SQLCipher
// file of the user's own ("outbox.mdb" in $XDG_DATA_HOME/qelmora) until they are sent. The file is
// opened as the local store is (no link, one name, a regular file, the schema checked) and must
// belong to the user. Each import keeps the id its importer made, so that sending it again, after
// an answer that was lost, adds nothing.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "store/lab_schema.h"
#include "store/parameter_store.h"

inline constexpr const char* kOutboxFileName = "outbox.mdb";
// The outbox's key: a raw key, which spares every opening the store password's key derivation (the
// outbox is opened by each import and each opening of a lab store).
inline constexpr const char* kOutboxKey = "x'71656c6d6f72612d6f7574626f782d6b65792d3538323034362d7261772d3031'";
// What the user is told of an import that went to the outbox.
inline constexpr const char* kOutboxText = "实验室数据库暂时无法连接，已保存在本机，恢复连接后自动上传。";

// One import as the lab store receives it, and the store it is for.
struct WaitingImport : lab::Import {
  std::string labStore;  // the server's host and database (or service) as the location names them
};

// A new import id: 128 bits from the operating system's random source, as a UUID (version 4).
std::string NewImportId();

// The outbox's path in the user's data folder.
std::string OutboxPath();

// Keeps an import in the outbox (made on first use); returns the outbox's path. Raises StoreError.
std::string KeepInOutbox(const WaitingImport& import);

// The imports that wait for labStore (every lab's when empty), oldest first. No outbox: none.
std::vector<WaitingImport> WaitingImports(const std::string& labStore = {});

// Takes an import out of the outbox once the server holds it.
void RemoveFromOutbox(const std::string& importId);
