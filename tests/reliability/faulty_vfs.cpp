#include "tests/reliability/faulty_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace qrel {

namespace {

sqlite3_vfs* g_real = nullptr;
std::atomic<long> g_budget{-1};  // writes still allowed; -1: no fault armed
std::atomic<long> g_writes{0};
std::atomic<long> g_refused{0};

struct File {
  sqlite3_file base;
  sqlite3_file* real;  // the real VFS's file, stored right after this struct
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  long budget = g_budget.load();
  while (budget >= 0) {
    if (budget == 0) {
      ++g_refused;
      return SQLITE_FULL;
    }
    if (g_budget.compare_exchange_weak(budget, budget - 1)) break;
  }
  ++g_writes;
  return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); }
int Sync(sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }

// Version 1: no shared memory (WAL) and no memory mapping, which the store does not use.
const sqlite3_io_methods kMethods = {
    1,     Close,    Read,       Write,       Truncate,          Sync,       FileSize, Lock, Unlock, CheckReservedLock,
    FileControl, SectorSize, DeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
  File* file = reinterpret_cast<File*>(f);
  file->real = reinterpret_cast<sqlite3_file*>(file + 1);
  file->base.pMethods = nullptr;
  const int rc = g_real->xOpen(g_real, name, file->real, flags, outFlags);
  if (file->real->pMethods != nullptr) file->base.pMethods = &kMethods;
  return rc;
}
int Delete(sqlite3_vfs*, const char* name, int syncDir) { return g_real->xDelete(g_real, name, syncDir); }
int Access(sqlite3_vfs*, const char* name, int flags, int* out) { return g_real->xAccess(g_real, name, flags, out); }
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return g_real->xFullPathname(g_real, name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return g_real->xDlOpen(g_real, name); }
void DlError(sqlite3_vfs*, int size, char* out) { g_real->xDlError(g_real, size, out); }
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) { return g_real->xDlSym(g_real, handle, symbol); }
void DlClose(sqlite3_vfs*, void* handle) { g_real->xDlClose(g_real, handle); }
int Randomness(sqlite3_vfs*, int size, char* out) { return g_real->xRandomness(g_real, size, out); }
int Sleep(sqlite3_vfs*, int micro) { return g_real->xSleep(g_real, micro); }
int CurrentTime(sqlite3_vfs*, double* out) { return g_real->xCurrentTime(g_real, out); }
int GetLastError(sqlite3_vfs*, int size, char* out) {
  return g_real->xGetLastError ? g_real->xGetLastError(g_real, size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) { return g_real->xCurrentTimeInt64(g_real, out); }

sqlite3_vfs g_vfs;

}  // namespace

void FaultyVfs::Install() {
  if (g_real != nullptr) return;
  g_real = sqlite3_vfs_find(nullptr);
  std::memset(&g_vfs, 0, sizeof g_vfs);
  g_vfs.iVersion = 2;
  g_vfs.szOsFile = static_cast<int>(sizeof(File)) + g_real->szOsFile;
  g_vfs.mxPathname = g_real->mxPathname;
  g_vfs.zName = "qelmora-test-faulty";
  g_vfs.xOpen = Open;
  g_vfs.xDelete = Delete;
  g_vfs.xAccess = Access;
  g_vfs.xFullPathname = FullPathname;
  g_vfs.xDlOpen = DlOpen;
  g_vfs.xDlError = DlError;
  g_vfs.xDlSym = DlSym;
  g_vfs.xDlClose = DlClose;
  g_vfs.xRandomness = Randomness;
  g_vfs.xSleep = Sleep;
  g_vfs.xCurrentTime = CurrentTime;
  g_vfs.xGetLastError = GetLastError;
  g_vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  sqlite3_vfs_register(&g_vfs, 1);
}

void FaultyVfs::FailWritesAfter(long writes) {
  g_writes = 0;
  g_refused = 0;
  g_budget = writes;
}

void FaultyVfs::Heal() { g_budget = -1; }

long FaultyVfs::Writes() { return g_writes; }
long FaultyVfs::Refused() { return g_refused; }

}  // namespace qrel
