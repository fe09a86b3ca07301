// Helpers of the hand-off tests: expected file bytes computed without the encoder, the stand-in
// simulator and its record, and a scoped environment variable.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

namespace htest {

// The 88 bytes of eleven doubles: their memory image, reversed per value on a big-endian host.
inline std::string LittleEndianImage(const std::vector<double>& values) {
  std::string bytes;
  for (double value : values) {
    char image[8];
    std::memcpy(image, &value, 8);
    if constexpr (std::endian::native == std::endian::big) {
      for (int i = 0; i < 4; ++i) std::swap(image[i], image[7 - i]);
    }
    bytes.append(image, 8);
  }
  return bytes;
}

inline std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kHex[c >> 4];
    text += kHex[c & 15];
  }
  return text;
}

// Waits (at most the time given) until the file exists.
inline bool WaitForFile(const std::filesystem::path& path, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The stand-in simulator's record: "key value" lines; "arg" may repeat.
struct SimulatorRecord {
  std::string cwd;
  int argumentCount = -1;
  std::vector<std::string> arguments;
  long sessionId = 0;
  long fileSize = -2;
  std::string fileHex;
};

inline SimulatorRecord ReadRecord(const std::filesystem::path& path) {
  SimulatorRecord record;
  std::istringstream in(qtest::ReadFileBytes(path));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (key == "cwd") record.cwd = value;
    if (key == "args") record.argumentCount = std::stoi(value);
    if (key == "arg") record.arguments.push_back(value);
    if (key == "sid") record.sessionId = std::stol(value);
    if (key == "size") record.fileSize = std::stol(value);
    if (key == "bytes") record.fileHex = value;
  }
  return record;
}

#ifndef _WIN32  // the stand-in and the environment: Linux tests only
// Puts the stand-in simulator at programDir/sim/Kambrisolve.exe; returns that path.
inline std::filesystem::path InstallStandIn(const std::filesystem::path& programDir) {
  const auto sim = programDir / "sim";
  std::filesystem::create_directories(sim);
  const auto target = sim / "Kambrisolve.exe";
  std::filesystem::copy_file(QELMORA_STAND_IN_SIMULATOR, target, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(target, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
  return target;
}

using ScopedEnv = qtest::ScopedEnv;
#endif

// The names in a directory, sorted.
inline std::vector<std::string> Names(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace htest
