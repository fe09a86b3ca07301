// What every kind of parameter store promises, as one type-parameterised suite. A backend's Kind
// gives: Open() (a new, empty store of its kind, opened as the program opens it), Rows() (its row
// count read by a tool of its own, not by the program) and EmptyCurrent() (the start of the text of
// the current set of an empty store). Instantiated for each backend where it runs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/parameter_store.h"

template <typename Kind>
class StoreContract : public ::testing::Test {
 protected:
  void SetUp() override {
    m_store = m_kind.Open();
    if (!m_store) GTEST_SKIP() << "no server for this kind: the suite runs through ctest, which starts one";
  }

  // Starts a row with the eleven values "<tag>-<column>".
  std::unique_ptr<PendingRow> Row(const std::string& tag) {
    std::unique_ptr<PendingRow> row = m_store->StartRow();
    for (const char* column : kParameterColumns) row->Put(column, tag + "-" + column);
    return row;
  }

  Kind m_kind;
  std::unique_ptr<ParameterStore> m_store;
};

TYPED_TEST_SUITE_P(StoreContract);

TYPED_TEST_P(StoreContract, ASavedRowAddsOneADroppedRowNoneAndTheHistoryComesOldestFirst) {
  ASSERT_EQ(this->m_kind.Rows(), 0);
  try {
    this->m_store->ReadCurrent();
    ADD_FAILURE() << "an empty store has a current set";
  } catch (const StoreError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(this->m_kind.EmptyCurrent(), 0), 0u) << e.what();
  }

  this->Row("a")->Save({"2026-01-02T03:04:05Z", "/models/a.mdl"});
  EXPECT_EQ(this->m_kind.Rows(), 1);
  this->Row("x")->Drop();
  this->Row("y");  // let go without Save
  EXPECT_EQ(this->m_kind.Rows(), 1);
  this->Row("b")->Save({"2026-01-02T03:04:06Z", "/models/b.mdl"});
  EXPECT_EQ(this->m_kind.Rows(), 2);

  const StoredRow current = this->m_store->ReadCurrent();
  EXPECT_EQ(current.parameters[kR0], "b-R0");
  EXPECT_EQ(current.provenance[kSource], "/models/b.mdl");
  EXPECT_EQ(current.provenance[kImportedAt].size(), 20u);  // "YYYY-MM-DDThh:mm:ssZ"

  std::vector<std::string> history;
  this->m_store->ReadHistory(
      [&](const StoredRow& row) { history.push_back(row.parameters[kCpe3P] + " " + row.provenance[kSource]); });
  EXPECT_EQ(history, (std::vector<std::string>{"a-CPE3-P /models/a.mdl", "b-CPE3-P /models/b.mdl"}));
}

REGISTER_TYPED_TEST_SUITE_P(StoreContract, ASavedRowAddsOneADroppedRowNoneAndTheHistoryComesOldestFirst);
