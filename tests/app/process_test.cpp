// The Linux process helper: output, exit status and the time limit, with real child processes.
#include "base/process_linux.h"

#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Running: it exists and is not a zombie that waits for its reaper.
bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return false;
  const std::size_t end = text.rfind(')');
  return end != std::string::npos && end + 2 < text.size() && text[end + 2] != 'Z';
}

// Waits up to two seconds for a process that has been killed to be gone.
bool GoneSoon(pid_t pid) {
  for (int i = 0; i < 100 && Alive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return !Alive(pid);
}

TEST(ProcessRunAndWait, CapturesTheOutputAndTellsTheExitStatus) {
  const process::RunResult ok = process::RunAndWait({"/bin/sh", "-c", "echo out; echo err >&2"}, {.captureOutput = true});
  EXPECT_TRUE(ok.ran);
  EXPECT_FALSE(ok.timedOut);
  EXPECT_EQ(ok.output, "out\n");

  EXPECT_FALSE(process::RunAndWait({"/bin/sh", "-c", "exit 3"}).ran);
  EXPECT_FALSE(process::RunAndWait({"/bin/sh", "-c", "exit 3"}, {.captureOutput = true, .timeoutMs = 5000}).ran);
  EXPECT_FALSE(process::RunAndWait({"no-such-program-of-qelmora"}).ran);
  EXPECT_TRUE(process::RunAndWait({"true"}).ran);  // looked up in PATH
}

TEST(ProcessRunAndWait, TheTimeLimitEndsTheProgramAndAllItStarted) {
  const process::RunResult run = process::RunAndWait(
      {"/bin/sh", "-c", "sleep 60 & echo $!; wait"}, {.captureOutput = true, .timeoutMs = 300});
  EXPECT_TRUE(run.timedOut);
  EXPECT_FALSE(run.ran);
  const pid_t helper = static_cast<pid_t>(std::stol(run.output));
  EXPECT_TRUE(GoneSoon(helper)) << helper;
}

TEST(ProcessRunAndWait, AHelperLeftRunningDoesNotHoldTheReading) {
  // The helper keeps the output pipe open; the run ends with the program itself.
  const process::RunResult run =
      process::RunAndWait({"/bin/sh", "-c", "sleep 60 & echo $!"}, {.captureOutput = true, .timeoutMs = 30000});
  EXPECT_TRUE(run.ran);
  EXPECT_FALSE(run.timedOut);
  const pid_t helper = static_cast<pid_t>(std::stol(run.output));
  EXPECT_TRUE(Alive(helper));
  ::kill(helper, SIGKILL);
}

}  // namespace
