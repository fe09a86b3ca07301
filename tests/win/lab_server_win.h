// The Windows tests against the lab's PostgreSQL server that CTest starts (scripts/lab-server.sh,
// fixture lab_server): the host's psql and the Linux qelmora-cli run as Unix programs that Wine
// starts, and read back what the Windows program stored through ODBC.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"
#include "win_test_helpers.h"

namespace labtest {

// The server's top directory (a Unix path), or empty when the test runs outside CTest.
inline std::string ServerDir() {
  std::ifstream in(QELMORA_LAB_SERVER_FILE);
  std::string dir;
  std::getline(in, dir);
  return dir;
}

// One argument as the command line carries it (the C run-time's and Wine's reading of quotes).
inline std::wstring Quoted(const std::wstring& arg) {
  std::wstring quoted = L"\"";
  for (std::size_t i = 0, slashes = 0; i <= arg.size(); ++i) {
    if (i < arg.size() && arg[i] == L'\\') {
      ++slashes;
      continue;
    }
    const bool quote = i < arg.size() && arg[i] == L'"';
    quoted.append(i == arg.size() || quote ? slashes * 2 + quote : slashes, L'\\');
    if (i < arg.size()) quoted += arg[i];
    slashes = 0;
  }
  return quoted + L"\"";
}

struct Output {
  DWORD code = 1;   // exit code (a Unix program's is not passed on by Wine: read its output)
  std::string out;  // standard output and error, as the program wrote them
};

// Runs a program (a Windows path or a Unix one) with its output caught in a file.
inline Output Run(const std::vector<std::wstring>& argv) {
  qtest::TempDir dir;
  const std::wstring file = dir.Path().wstring() + L"\\out.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::wstring line;
  for (const std::wstring& arg : argv) line += (line.empty() ? L"" : L" ") + Quoted(arg);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = out;
  PROCESS_INFORMATION process{};
  Output result;
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &result.code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  result.out = qtest::ReadFileBytes(dir.Path() / "out.txt");
  return result;
}

// Runs a Unix program to its end. Wine starts it and returns at once, so a shell notes its output
// and then its exit status in files under /tmp (Z:\tmp here), which are waited for.
inline Output RunUnix(std::vector<std::wstring> argv) {
  static int runs = 0;
  const std::string base = "/tmp/qelmora-wine-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
  std::string windows = "Z:" + base;
  for (char& c : windows) c = c == '/' ? '\\' : c;
  argv.insert(argv.begin(), {L"/bin/sh", L"-c", L"\"$@\" >\"$0.out\" 2>&1; echo $? >\"$0.tmp\"; mv \"$0.tmp\" \"$0.done\"",
                             std::wstring(base.begin(), base.end())});
  Run(argv);
  Output result;
  for (int i = 0; i < 1200 && !std::filesystem::exists(windows + ".done"); ++i) Sleep(100);
  result.code = static_cast<DWORD>(std::atoi(qtest::ReadFileBytes(windows + ".done").c_str()));
  result.out = qtest::ReadFileBytes(windows + ".out");
  std::filesystem::remove(windows + ".done");
  std::filesystem::remove(windows + ".out");
  return result;
}

inline std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// A database of its own on the fixture's server, with init-store's table (made by the Linux
// qelmora-cli, as an administrator makes it) and the member alice.
class LabDatabase {
 public:
  explicit LabDatabase(const std::string& name) : m_name(name), m_server(ServerDir()) {
    Psql("DROP DATABASE IF EXISTS " + m_name, "postgres");
    Psql("CREATE DATABASE " + m_name, "postgres");
    Psql("DO $$BEGIN CREATE ROLE alice LOGIN; EXCEPTION WHEN duplicate_object THEN END$$");
    m_made = Linux({"init-store"});
    Psql("GRANT qelmora_member TO alice");
  }
  // What psql prints of one statement (unaligned, tuples only; UTF-8), its errors too.
  std::string Psql(const std::string& sql, const std::string& db = {}) const {
    return RunUnix({L"" QELMORA_PSQL, L"-X", L"-A", L"-t", L"-q", L"-h", FromUtf8(m_server + "/sock"), L"-U", L"postgres",
                L"-d", FromUtf8(db.empty() ? m_name : db), L"-c", FromUtf8(sql)})
        .out;
  }
  // The Linux qelmora-cli on the same database, as alice (or postgres for init-store).
  std::string Linux(const std::vector<std::string>& args) const {
    std::vector<std::wstring> argv = {L"" QELMORA_LINUX_CLI, L"--store",
                                      FromUtf8("postgresql:///" + m_name + "?host=" + m_server + "/sock&user=" +
                                               (args[0] == "init-store" ? "postgres" : "alice"))};
    for (const std::string& arg : args) argv.push_back(FromUtf8(arg));
    return RunUnix(argv).out;
  }
  // The ODBC connection string of the database for alice, without a password (the server trusts the socket).
  std::string Odbc(const std::string& server = {}) const {
    return "Driver={PostgreSQL Unicode};Servername=" + (server.empty() ? m_server + "/sock" : server) +
           ";Database=" + m_name + ";Uid=alice";
  }
  const std::string& Made() const { return m_made; }

 private:
  std::string m_name, m_server, m_made;
};

// %APPDATA%, COMPUTERNAME and USERNAME of this process and the programs it starts, for one scope.
class Workstation {
 public:
  Workstation(const std::wstring& appData, const wchar_t* computer, const wchar_t* user) {
    for (const auto& [name, value] : {std::pair{L"APPDATA", appData.c_str()}, {L"COMPUTERNAME", computer}, {L"USERNAME", user}}) {
      wchar_t old[512] = {};
      m_old.emplace_back(name, GetEnvironmentVariableW(name, old, 512) ? std::optional<std::wstring>(old) : std::nullopt);
      SetEnvironmentVariableW(name, value);
    }
  }
  ~Workstation() {
    for (const auto& [name, value] : m_old) SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
  }
  Workstation(const Workstation&) = delete;
  Workstation& operator=(const Workstation&) = delete;

 private:
  std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> m_old;
};

// qelmora.conf in %APPDATA%\qelmora\ of `appData` naming `store`.
inline void WriteConf(const std::filesystem::path& appData, const std::string& store) {
  std::filesystem::create_directories(appData / "qelmora");
  qtest::WriteFileBytes(appData / "qelmora" / "qelmora.conf", "# the lab\r\nstore = " + store + "\r\n");
}

}  // namespace labtest
