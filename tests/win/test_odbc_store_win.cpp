// The Windows qelmora-cli on the lab store through ODBC (Wine's odbc32, the host's unixODBC and
// psqlODBC) against the real server of the lab_server fixture; psql and the Linux qelmora-cli read
// back what it stored.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "lab_server_win.h"
#include "tests/support/test_support.h"

namespace {

using labtest::FromUtf8;

const std::vector<std::string> kValuesA = {"1.5E-07", "0.0152", "0.0041", "0.81", "0.78", "0.023",
                                           "12.4",    "0.91",   "0.10",   "356",  "0.65"};
const std::vector<std::string> kValuesB = {"2.5E-07", "0.0252", "0.0051", "0.71", "0.68", "0.033",
                                           "22.4",    "0.81",   "0.20",   "456",  "0.55"};

std::wstring Cli() { return L"" QELMORA_CLI_EXE; }

// The first value of the hand-off file that `handoff --no-launch` wrote (its path is the output).
double HandedOffL0(const std::string& out) {
  const std::string bytes = qtest::ReadFileBytes(out.substr(0, out.find_first_of("\r\n")));
  double value = 0;
  if (bytes.size() == 88) std::memcpy(&value, bytes.data(), 8);
  return value;
}

TEST(OdbcLabStore, TwoWorkstationsImportEachHasItsCurrentSetAndLinuxSeesBoth) {
  if (labtest::ServerDir().empty()) GTEST_SKIP() << "no lab server: run through ctest, which starts one";
  labtest::LabDatabase db("t_odbc_two");
  ASSERT_NE(db.Made().find("table1"), std::string::npos) << db.Made();
  qtest::TempDir home;
  labtest::WriteConf(home.Path() / "appdata", db.Odbc());
  // A model file whose path has Chinese characters and a blank.
  const std::filesystem::path folder = home.Path() / L"拟合 数据";
  std::filesystem::create_directories(folder);
  const std::filesystem::path modelA = folder / L"电池A.mdl", modelB = folder / L"电池B.mdl";
  qtest::WriteFileBytes(modelA, qtest::ModelText(kValuesA));
  qtest::WriteFileBytes(modelB, qtest::ModelText(kValuesB));

  for (const auto& [computer, user, model] : {std::tuple{L"PC-A", L"anna", modelA}, {L"PC-B", L"bert", modelB}}) {
    labtest::Workstation ws((home.Path() / "appdata").wstring(), computer, user);
    const labtest::Output imported = labtest::Run({Cli(), L"import", model.wstring()});
    EXPECT_EQ(imported.code, 0u) << imported.out;
  }
  const auto Utf8 = [](const std::filesystem::path& p) {
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
  };
  const std::string a = Utf8(modelA), b = Utf8(modelB);
  // Read back with psql: each value, the path exactly, the workstation and the role the server stamped.
  EXPECT_EQ(db.Psql("SELECT \"L0\", \"CPE3-P\", source, workstation, imported_by FROM qelmora.table1 ORDER BY id"),
            "1.5E-07|0.65|" + a + "|anna@PC-A|alice\n2.5E-07|0.55|" + b + "|bert@PC-B|alice\n");
  // Each import carries its own id (128 random bits as a version-4 UUID), its time read and the
  // SHA-256 of the bytes read, which the server computes again from the same bytes.
  std::string bytesA;
  for (unsigned char c : qtest::ModelText(kValuesA)) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    bytesA += hex;
  }
  EXPECT_EQ(db.Psql("SELECT count(DISTINCT import_id), count(read_at),"
                    " bool_and(import_id::text ~ '^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$'),"
                    " bool_or(content_sha256 = encode(sha256(decode('" + bytesA + "', 'hex')), 'hex'))"
                    " FROM qelmora.table1"),
            "2|2|t|t\n");

  // Each workstation's current set is its own: the hand-off file carries its L0.
  for (const auto& [computer, user, l0] : {std::tuple{L"PC-A", L"anna", 1.5E-07}, {L"PC-B", L"bert", 2.5E-07}}) {
    labtest::Workstation ws((home.Path() / "appdata").wstring(), computer, user);
    const labtest::Output handed = labtest::Run({Cli(), L"handoff", L"--no-launch"});
    EXPECT_EQ(handed.code, 0u) << handed.out;
    EXPECT_DOUBLE_EQ(HandedOffL0(handed.out), l0) << handed.out;
  }

  // The Linux program's history of the same server shows both rows, with their workstations.
  const std::string history = db.Linux({"history"});
  for (const std::string& part : {a, b, std::string("anna@PC-A"), std::string("bert@PC-B")}) {
    EXPECT_NE(history.find(part), std::string::npos) << part << "\n" << history;
  }
  // Rows are never changed or deleted, whoever asks.
  for (const char* change : {"UPDATE qelmora.table1 SET \"L0\" = '9'", "DELETE FROM qelmora.table1"}) {
    EXPECT_NE(db.Psql(change).find("never changed or deleted"), std::string::npos) << change;
  }
  EXPECT_EQ(db.Psql("SELECT count(*), min(\"L0\") FROM qelmora.table1"), "2|1.5E-07\n");
}

TEST(OdbcLabStore, ServerAwayPasswordAndOtherSchemaAreRefusedAndNothingIsSaved) {
  if (labtest::ServerDir().empty()) GTEST_SKIP() << "no lab server: run through ctest, which starts one";
  labtest::LabDatabase db("t_odbc_refused");
  qtest::TempDir home;
  const std::filesystem::path model = home.Path() / "fit.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(kValuesA));
  const struct {
    std::string store, change;
    const wchar_t* said;
  } cases[] = {
      {db.Odbc("/tmp/qelmora-no-server"), "", L"无法连接实验室数据库 /tmp/qelmora-no-server/t_odbc_refused："},
      {db.Odbc() + ";Pwd=s3cret", "", L"连接串中写有密码"},
      {"DRIVER={PostgreSQL Unicode};Servername=x;PASSWORD = s3cret", "", L"连接串中写有密码"},
      {db.Odbc(), "ALTER TABLE qelmora.table1 ADD COLUMN note text", L"不是 init-store 建立的结构（列不同）"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.store);
    if (!c.change.empty()) db.Psql(c.change);
    labtest::WriteConf(home.Path() / "appdata", c.store);
    labtest::Workstation ws((home.Path() / "appdata").wstring(), L"PC-A", L"anna");
    const labtest::Output imported = labtest::Run({Cli(), L"import", model.wstring()});
    EXPECT_EQ(imported.code, 1u);
    EXPECT_NE(imported.out.find(wintest::ToCp936(c.said)), std::string::npos) << imported.out;
    EXPECT_EQ(imported.out.find("s3cret"), std::string::npos);
    EXPECT_EQ(db.Psql("SELECT count(*) FROM qelmora.table1"), "0\n");
  }
}

}  // namespace
