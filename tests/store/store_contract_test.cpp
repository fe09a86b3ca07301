// The store's contract on Linux: a SQLCipher file, read back with the sqlcipher shell, and the lab
// store on the test server (fixture lab_server), read back with psql.
#include <fstream>

#include "store/store.h"
#include "store/store_kind.h"
#include "tests/store/store_contract.h"
#include "tests/support/shell_command.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

struct SqlCipherKind {
  std::string EmptyCurrent() const { return "参数历史中还没有数据"; }
  std::unique_ptr<ParameterStore> Open() {
    StoreKindOf(dir.Dir()).Init(dir.Dir());
    return StoreKindOf(dir.Dir()).Open(dir.Dir());
  }
  long Rows() const { return static_cast<long>(qtest::ReadTableRows(dir.Dir() + kStoreFileName).size()); }
  qtest::TempDir dir;
};

struct LabKind {
  std::string EmptyCurrent() const { return "实验室数据库 "; }
  std::unique_ptr<ParameterStore> Open() {
    std::ifstream in(QELMORA_LAB_SERVER_FILE);
    std::getline(in, server);
    if (server.empty()) return nullptr;
    Psql("DROP DATABASE IF EXISTS t_contract", "postgres");
    Psql("CREATE DATABASE t_contract", "postgres");
    const std::string location = "postgresql:///t_contract?host=" + server + "/sock&user=postgres";
    StoreKindOf(location).Init(location);
    return StoreKindOf(location).Open(location);
  }
  long Rows() const { return std::stol(Psql("SELECT count(*) FROM qelmora.table1", "t_contract")); }
  std::string Psql(const std::string& sql, const std::string& db) const {
    return qtest::Run({"psql", "-X", "-A", "-t", "-q", "-h", server + "/sock", "-U", "postgres", "-d", db, "-c", sql}, {})
        .out;
  }
  std::string server;
};

using Kinds = ::testing::Types<SqlCipherKind, LabKind>;
INSTANTIATE_TYPED_TEST_SUITE_P(StoreContract, StoreContract, Kinds);

}  // namespace
