// The one way the Linux build starts other programs: either detached (the program outlives us and is
// not waited for) or waited for, its standard output kept or discarded, with an optional time limit.
// Standard input is always /dev/null. Both take our environment, with `environment` (NAME=VALUE
// entries) set on top of it.
#pragma once

#include <string>
#include <vector>

namespace process {

// Starts argv (argv[0] a full path) in workingDirectory, in a session of its own, and does not wait
// for it. True when the program was started (the working directory entered and the program executed).
// With refusalMs, a program that ends with a failure within that many milliseconds was refused
// (a launcher such as wine that could not start what it was given): false then as well.
bool StartDetached(const std::vector<std::string>& argv, const std::string& workingDirectory, int refusalMs = 0,
                   const std::vector<std::string>& environment = {});

struct RunOptions {
  bool captureOutput = false;  // keep standard output (up to 64 KiB); else it goes to /dev/null
  bool quietErrors = true;     // standard error to /dev/null; else it is ours
  int timeoutMs = -1;          // -1: no limit; else the program and all it started are killed then
};

struct RunResult {
  bool ran = false;       // started and ended with status 0
  bool timedOut = false;
  int startError = 0;     // the errno of a program that could not be executed (ENOEXEC: not a format
                          // this computer runs)
  std::string output;     // its standard output, when captured
};

// Runs argv (argv[0] looked up in PATH unless it holds a '/') and waits for it. With a time limit it
// runs in a process group of its own, ended as a whole at the limit. The reading stops at the
// program's exit, not at the end of the pipe: helpers it leaves running (wineserver) may keep the pipe
// open.
RunResult RunAndWait(const std::vector<std::string>& argv, const RunOptions& options = {},
                     const std::vector<std::string>& environment = {});

}  // namespace process
