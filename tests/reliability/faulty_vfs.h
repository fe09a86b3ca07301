// A test VFS for SQLite, registered as the default in the test process. It wraps the real default
// VFS and, once armed, fails every write with SQLITE_FULL, as a full disk does, until it is healed.
#pragma once

namespace qrel {

class FaultyVfs {
 public:
  // Registers the VFS as the default (once); stores opened afterwards go through it.
  static void Install();
  // After `writes` more successful writes, every write fails until Heal.
  static void FailWritesAfter(long writes);
  static void Heal();
  // Writes that went through since the last arm or heal, and writes refused.
  static long Writes();
  static long Refused();
};

}  // namespace qrel
