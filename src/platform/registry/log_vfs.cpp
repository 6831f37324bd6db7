#include "platform/registry/log_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace coredll {
namespace {

constexpr int kFrameHeader = 24;
constexpr sqlite3_int64 kReadBlock = 64 * 1024;
constexpr size_t kMaxBlocks = 16;
// Past this a transaction's frames are written before its commit: the default VFS writes at
// most 128 KiB in one call (it masks larger counts), and it bounds the memory.
constexpr size_t kMaxGathered = 120 * 1024;

struct Block {
  sqlite3_int64 at = 0;  // a multiple of kReadBlock
  std::vector<char> bytes;
};

// One of our files, followed in the same allocation by the default VFS's own. Files other
// than databases and logs are the default VFS's alone, laid out where ours would be.
struct File {
  sqlite3_file base{};
  sqlite3_file* real = nullptr;
  File* peer = nullptr;  // the database's open log, or the log's database

  // A log's writes not made yet: contiguous, from gathered_at.
  std::vector<char> gathered;
  sqlite3_int64 gathered_at = 0;
  bool commit_framed = false;  // the last gathered write was a commit frame's header
  // The end of the log as far as this connection has read or written it since it last took
  // or let go of a lock. Only writes at or past it are gathered: anything before it is a
  // frame being rewritten, whose header may be the last write before the commit shows.
  sqlite3_int64 seen_end = 0;
  int held_error = SQLITE_OK;  // of a write made where no error could be returned

  // Blocks of the log read since the last lock change, oldest first, with the log's size
  // then (-1 before the first) and how many reads missed them.
  std::vector<Block> blocks;
  sqlite3_int64 size_known = -1;
  int misses = 0;
};

constexpr int kFileSize = int((sizeof(File) + 7) & ~size_t(7));

File* Of(sqlite3_file* file) { return reinterpret_cast<File*>(file); }
const sqlite3_io_methods& Real(File* file) { return *file->real->pMethods; }
sqlite3_vfs* RealVfs(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

sqlite3_int64 GatheredEnd(const File* log) {
  return log->gathered_at + sqlite3_int64(log->gathered.size());
}

// Makes the gathered writes; SQLITE_OK when there were none.
int WriteGathered(File* log) {
  if (log->gathered.empty()) return SQLITE_OK;
  int rc = Real(log).xWrite(log->real, log->gathered.data(), int(log->gathered.size()),
                            log->gathered_at);
  log->seen_end = std::max(log->seen_end, GatheredEnd(log));
  log->gathered.clear();
  log->commit_framed = false;
  return rc;
}

// For calls that cannot return an error: the next call of the log that can returns it.
void WriteGatheredHoldingError(File* log) {
  if (int rc = WriteGathered(log); rc != SQLITE_OK && log->held_error == SQLITE_OK) {
    log->held_error = rc;
  }
}

int TakeHeldError(File* log) {
  int rc = log->held_error;
  log->held_error = SQLITE_OK;
  return rc;
}

// Before the call forwarded to the log: the gathered writes made, an earlier error returned.
int Settle(File* log) {
  if (int rc = TakeHeldError(log)) {
    log->gathered.clear();
    return rc;
  }
  return WriteGathered(log);
}

void ForgetBlock(File* log) {
  log->blocks.clear();
  log->size_known = -1;
  log->misses = 0;
}

// What another connection may have changed since: at every lock taken or let go.
void ForgetWhatWasSeen(File* log) {
  ForgetBlock(log);
  log->seen_end = 0;
}

// Closes the default VFS's file and ends ours; its peer forgets it.
int CloseFile(File* file) {
  if (file->peer) file->peer->peer = nullptr;
  int rc = Real(file).xClose(file->real);
  file->~File();
  return rc;
}

// ---- the log ----

int LogClose(sqlite3_file* file) {
  int settled = Settle(Of(file));
  int rc = CloseFile(Of(file));
  return settled != SQLITE_OK ? settled : rc;
}

// The block of the log that holds [offset, offset + amount), read now if it is worth it:
// from the second read that misses on (a lone read costs less alone). Null to read alone.
const Block* BlockFor(File* log, sqlite3_int64 offset, int amount) {
  sqlite3_int64 at = offset - offset % kReadBlock;
  if (offset + amount > at + kReadBlock) return nullptr;
  for (const Block& block : log->blocks) {
    if (block.at == at) {
      return offset + amount <= at + sqlite3_int64(block.bytes.size()) ? &block : nullptr;
    }
  }
  if (++log->misses < 2) return nullptr;
  if (log->size_known < 0 && Real(log).xFileSize(log->real, &log->size_known) != SQLITE_OK) {
    log->size_known = -1;
    return nullptr;
  }
  if (offset + amount > log->size_known) return nullptr;
  Block block{at, std::vector<char>(size_t(std::min(kReadBlock, log->size_known - at)))};
  if (Real(log).xRead(log->real, block.bytes.data(), int(block.bytes.size()), at) != SQLITE_OK) {
    return nullptr;
  }
  if (log->blocks.size() == kMaxBlocks) log->blocks.erase(log->blocks.begin());
  log->blocks.push_back(std::move(block));
  return &log->blocks.back();
}

int LogRead(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
  File* log = Of(file);
  if (int rc = Settle(log)) return rc;
  log->seen_end = std::max(log->seen_end, offset + amount);
  if (const Block* block = BlockFor(log, offset, amount)) {
    std::memcpy(out, block->bytes.data() + (offset - block->at), size_t(amount));
    return SQLITE_OK;
  }
  return Real(log).xRead(log->real, out, amount, offset);
}

int LogWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  File* log = Of(file);
  ForgetBlock(log);
  if (int rc = TakeHeldError(log)) {
    log->gathered.clear();
    return rc;
  }
  const char* bytes = static_cast<const char*>(data);
  if (!log->gathered.empty() && offset >= log->gathered_at &&
      offset + amount <= GatheredEnd(log)) {
    // A page of this transaction written again before its frames were.
    std::memcpy(log->gathered.data() + (offset - log->gathered_at), bytes, size_t(amount));
    return SQLITE_OK;
  }
  bool appends = log->gathered.empty() ? offset >= log->seen_end : offset == GatheredEnd(log);
  // The write after a commit frame's header is its page, the last of the transaction.
  bool completes_commit = log->commit_framed;
  if (!appends || log->gathered.size() + size_t(amount) > kMaxGathered) {
    if (int rc = WriteGathered(log)) return rc;
    if (!appends) {
      log->seen_end = std::max(log->seen_end, offset + amount);
      return Real(log).xWrite(log->real, data, amount, offset);
    }
  }
  if (log->gathered.empty()) log->gathered_at = offset;
  log->gathered.insert(log->gathered.end(), bytes, bytes + amount);
  // A frame header carries the database's size in pages after a commit, 0 before.
  log->commit_framed = amount == kFrameHeader && (bytes[4] | bytes[5] | bytes[6] | bytes[7]);
  return completes_commit ? WriteGathered(log) : SQLITE_OK;
}

int LogTruncate(sqlite3_file* file, sqlite3_int64 size) {
  File* log = Of(file);
  ForgetBlock(log);
  if (int rc = Settle(log)) return rc;
  return Real(log).xTruncate(log->real, size);
}

int LogSync(sqlite3_file* file, int flags) {
  File* log = Of(file);
  if (int rc = Settle(log)) return rc;
  return Real(log).xSync(log->real, flags);
}

int LogFileSize(sqlite3_file* file, sqlite3_int64* size) {
  File* log = Of(file);
  if (int rc = Settle(log)) return rc;
  return Real(log).xFileSize(log->real, size);
}

int LogFileControl(sqlite3_file* file, int op, void* arg) {
  File* log = Of(file);
  ForgetBlock(log);
  if (int rc = Settle(log)) return rc;
  return Real(log).xFileControl(log->real, op, arg);
}

// ---- calls forwarded as they are ----

int Read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
  return Real(Of(file)).xRead(Of(file)->real, out, amount, offset);
}
int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  return Real(Of(file)).xWrite(Of(file)->real, data, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Real(Of(file)).xTruncate(Of(file)->real, size);
}
int Sync(sqlite3_file* file, int flags) { return Real(Of(file)).xSync(Of(file)->real, flags); }
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(Of(file)).xFileSize(Of(file)->real, size);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  return Real(Of(file)).xFileControl(Of(file)->real, op, arg);
}
int Lock(sqlite3_file* file, int level) { return Real(Of(file)).xLock(Of(file)->real, level); }
int Unlock(sqlite3_file* file, int level) {
  return Real(Of(file)).xUnlock(Of(file)->real, level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return Real(Of(file)).xCheckReservedLock(Of(file)->real, out);
}
int SectorSize(sqlite3_file* file) { return Real(Of(file)).xSectorSize(Of(file)->real); }
int DeviceCharacteristics(sqlite3_file* file) {
  return Real(Of(file)).xDeviceCharacteristics(Of(file)->real);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  return Real(Of(file)).xFetch(Of(file)->real, offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return Real(Of(file)).xUnfetch(Of(file)->real, offset, page);
}
int ShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
  return Real(Of(file)).xShmMap(Of(file)->real, page, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  return Real(Of(file)).xShmLock(Of(file)->real, offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { Real(Of(file)).xShmBarrier(Of(file)->real); }
int ShmUnmap(sqlite3_file* file, int remove) {
  return Real(Of(file)).xShmUnmap(Of(file)->real, remove);
}

// ---- the database: its shared-memory calls mark what its log must settle first ----

int DbClose(sqlite3_file* file) { return CloseFile(Of(file)); }
int DbShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
  if (File* log = Of(file)->peer) ForgetWhatWasSeen(log);
  return ShmMap(file, page, size, extend, out);
}

int DbShmLock(sqlite3_file* file, int offset, int n, int flags) {
  if (File* log = Of(file)->peer) {
    // Frames still gathered when the write lock goes belong to no commit; made before it
    // goes all the same, they stay where only this writer can have put them.
    if (offset == 0 && (flags & SQLITE_SHM_UNLOCK)) WriteGatheredHoldingError(log);
    ForgetWhatWasSeen(log);
  }
  return ShmLock(file, offset, n, flags);
}

// The index's header is written on both sides of the barrier: a commit's frames must be in
// the log by then. They are already, written with the commit frame; this is the guard.
void DbShmBarrier(sqlite3_file* file) {
  if (File* log = Of(file)->peer) {
    WriteGatheredHoldingError(log);
    ForgetWhatWasSeen(log);
  }
  ShmBarrier(file);
}

int DbShmUnmap(sqlite3_file* file, int remove) {
  if (File* log = Of(file)->peer) ForgetWhatWasSeen(log);
  return ShmUnmap(file, remove);
}

const sqlite3_io_methods kDbMethods = {
    3,           DbClose,  Read,    Write,   Truncate, Sync,
    FileSize,    Lock,     Unlock,  CheckReservedLock, FileControl, SectorSize,
    DeviceCharacteristics, DbShmMap, DbShmLock, DbShmBarrier, DbShmUnmap, Fetch, Unfetch};

const sqlite3_io_methods kLogMethods = {
    3,           LogClose, LogRead, LogWrite, LogTruncate, LogSync,
    LogFileSize, Lock,     Unlock,  CheckReservedLock, LogFileControl, SectorSize,
    DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch,
    Unfetch};

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags,
         int* out_flags) {
  sqlite3_vfs* real = RealVfs(vfs);
  bool is_log = flags & SQLITE_OPEN_WAL;
  if (!is_log && !(flags & SQLITE_OPEN_MAIN_DB)) {
    return real->xOpen(real, name, file, flags, out_flags);
  }
  File* ours = new (file) File();
  ours->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kFileSize);
  // The default VFS here is the unix one, whose files have every call of version 3.
  int rc = real->xOpen(real, name, ours->real, flags, out_flags);
  if (!ours->real->pMethods) {
    ours->~File();
    file->pMethods = nullptr;
    return rc;
  }
  ours->base.pMethods = is_log ? &kLogMethods : &kDbMethods;
  if (is_log && name) {
    sqlite3_file* db = sqlite3_database_file_object(name);
    if (db && db->pMethods == &kDbMethods) {
      ours->peer = Of(db);
      Of(db)->peer = ours;
    }
  }
  return rc;
}

int Delete(sqlite3_vfs* vfs, const char* name, int sync) {
  return RealVfs(vfs)->xDelete(RealVfs(vfs), name, sync);
}
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
  return RealVfs(vfs)->xAccess(RealVfs(vfs), name, flags, out);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return RealVfs(vfs)->xFullPathname(RealVfs(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) {
  return RealVfs(vfs)->xDlOpen(RealVfs(vfs), name);
}
void DlError(sqlite3_vfs* vfs, int size, char* out) {
  RealVfs(vfs)->xDlError(RealVfs(vfs), size, out);
}
void (*DlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
  return RealVfs(vfs)->xDlSym(RealVfs(vfs), handle, symbol);
}
void DlClose(sqlite3_vfs* vfs, void* handle) { RealVfs(vfs)->xDlClose(RealVfs(vfs), handle); }
int Randomness(sqlite3_vfs* vfs, int size, char* out) {
  return RealVfs(vfs)->xRandomness(RealVfs(vfs), size, out);
}
int Sleep(sqlite3_vfs* vfs, int microseconds) {
  return RealVfs(vfs)->xSleep(RealVfs(vfs), microseconds);
}
int CurrentTime(sqlite3_vfs* vfs, double* out) {
  return RealVfs(vfs)->xCurrentTime(RealVfs(vfs), out);
}
int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
  return RealVfs(vfs)->xGetLastError(RealVfs(vfs), size, out);
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
  return RealVfs(vfs)->xCurrentTimeInt64(RealVfs(vfs), out);
}
int SetSystemCall(sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr call) {
  return RealVfs(vfs)->xSetSystemCall(RealVfs(vfs), name, call);
}
sqlite3_syscall_ptr GetSystemCall(sqlite3_vfs* vfs, const char* name) {
  return RealVfs(vfs)->xGetSystemCall(RealVfs(vfs), name);
}
const char* NextSystemCall(sqlite3_vfs* vfs, const char* name) {
  return RealVfs(vfs)->xNextSystemCall(RealVfs(vfs), name);
}

}  // namespace

const char* RegistryVfs() {
  static sqlite3_vfs vfs;
  static std::once_flag registered;
  std::call_once(registered, [] {
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    vfs = sqlite3_vfs{3, std::max(real->szOsFile, kFileSize + real->szOsFile), real->mxPathname,
                      nullptr, "coredll-registry", real, Open, Delete, Access, FullPathname,
                      DlOpen, DlError, DlSym, DlClose, Randomness, Sleep, CurrentTime,
                      GetLastError, CurrentTimeInt64, SetSystemCall, GetSystemCall,
                      NextSystemCall};
    sqlite3_vfs_register(&vfs, 0);
  });
  return vfs.zName;
}

}  // namespace coredll
