// "Transfer data" over a real store in a program directory of the test: the dialog, its scripted
// view and message boxes, a platform whose temporary directory is the test's own.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/main_dialog.h"
#include "app/run_store.h"
#include "res/resource.h"
#include "store/store.h"
#include "tests/handoff/handoff_test_util.h"
#include "tests/support/scripted_view.h"

namespace htest {

// A row to append: nullopt leaves the column NULL.
using Row = std::array<std::optional<std::string>, kParameterCount>;

inline Row TextRow(const std::vector<std::string>& texts) {
  Row row;
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = texts.at(i);
  return row;
}

class TransferFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    m_platform.moduleFileName = (m_program.Path() / "qelmora").string();
    m_platform.tempPath = m_temp.Dir();
    m_platform.startReal = true;
    ASSERT_NO_THROW(CreateParameterStore(m_program.Dir()));
    OpenParameterStore(m_program.Dir());
    ASSERT_TRUE(ParameterStoreConnected());
    // A model file already imported: no question, no import.
    m_dialog.m_strPath = "/data/fit.mdl";
    m_view.pathText = m_dialog.m_strPath;
    m_dialog.m_bImported = true;
  }

  void TearDown() override {
    CloseParameterStore();
    g_strModelPath.clear();
  }

  static void Append(const Row& row) {
    std::unique_ptr<PendingRow> pending = TheParameterStore().StartRow();
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i]) pending->Put(kParameterColumns[i], *row[i]);
    }
    pending->Save({});
  }

  std::filesystem::path Sim() const { return m_program.Path() / "sim"; }
  std::filesystem::path Record() const { return Sim() / "record.txt"; }

  void Transfer() { m_dialog.OnCommand(IDC_BUTTON_TRANSFER); }

  qtest::ScriptedMessageBoxes m_boxes;
  qtest::TempDir m_program;
  qtest::TempDir m_temp;
  qtest::TestPlatform m_platform;
  ScopedEnv m_tmpdir{"TMPDIR", m_temp.Path().string()};  // what the started program sees
  qtest::ScriptedView m_view;
  MainDialog m_dialog{m_view};
};

}  // namespace htest
