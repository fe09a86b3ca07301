#include "tests/store/store_test_util.h"

#include <gtest/gtest.h>

#include "tests/support/store_rows.h"

namespace storetest {

CommandResult Sqlcipher(const std::string& databasePath, const std::string& key, const std::string& sql) {
  return qtest::Sqlcipher(databasePath, key, ".mode csv\n.separator , \"\\n\"\n.nullvalue <NULL>\n" + sql);
}

std::string DumpTable(const std::string& databasePath) {
  std::string text;
  for (const qtest::TableRow& row : qtest::ReadTableRows(databasePath)) {
    for (std::size_t i = 0; i < row.size(); ++i) text += (i > 0 ? "," : "") + row[i].value_or("<NULL>");
    text += '\n';
  }
  return text;
}

StoreFixture::StoreFixture() {
  EXPECT_NO_THROW(CreateParameterStore(dir.Dir()));
  store = OpenParameterStoreAt(dir.Dir());
}

StoreFixture::~StoreFixture() = default;

void StoreFixture::Append(const std::vector<std::pair<std::string, std::string>>& values,
                          const Provenance& provenance) {
  std::unique_ptr<PendingRow> row = store->StartRow();
  for (const auto& [column, value] : values) row->Put(column, value);
  row->Save(provenance);
}

std::string StoreFailure(const std::function<void()>& call) {
  try {
    call();
  } catch (const StoreError& e) {
    return e.what();
  }
  return {};
}

}  // namespace storetest
