// The registry's storage: a tree of named keys holding named, typed byte values, kept in one
// SQLite database file that several processes use at once. It knows nothing of handles or
// error numbers; the Win32 calls sit on top of it (registry_api.cpp).
//
// Names compare case-insensitively through stowkit::UpperCase (the file system's folding)
// and keep the case they were created with; the file needs no code of ours to be read or
// checked, and older files are brought up to date when first opened. Subkeys and values are listed in
// creation order; overwriting a value keeps its place. Key ids are never reused, so a key
// that is deleted stays deleted for whoever still holds its id (kKeyDeleted).
//
// Every call is one transaction, or one savepoint of a batch (BeginBatch). Commits reach the
// write-ahead log without waiting for the disk (synchronous=NORMAL); Flush() makes every
// earlier commit durable. A call that finds the database locked waits up to kBusyTimeoutMs
// for it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace coredll {

using KeyId = int64_t;

enum class StoreStatus {
  kOk,
  kNotFound,     // no such key, value or index
  kKeyDeleted,   // the key the call starts from is gone
  kTooDeep,      // a new key would lie more than kMaxDepth levels below its root
  kBusy,         // still locked by another process after the busy timeout
  kFull,         // the host disk is full
  kCannotOpen,   // the database file cannot be opened or created
  kIoError,      // any other failure of the database
};

struct StoredValue {
  std::u16string name;
  uint32_t type = 0;
  std::string data;  // the bytes exactly as written
};

struct KeySummary {
  uint32_t subkeys = 0;
  uint32_t longest_subkey = 0;     // UTF-16 units
  uint32_t values = 0;
  uint32_t longest_value_name = 0; // UTF-16 units
  uint32_t longest_data = 0;       // bytes
};

class RegistryStore {
 public:
  static constexpr int kBusyTimeoutMs = 10000;
  // As on the handheld; it also bounds a tree copied into itself.
  static constexpr size_t kMaxDepth = 16;

  // Opens (creating if need be) the database at `path` and makes sure the top-level keys
  // `roots` exist; RootId(i) is then the key of roots[i].
  static std::shared_ptr<RegistryStore> Open(const std::string& path,
                                             const std::vector<std::u16string>& roots,
                                             StoreStatus& status);
  // Appends to `findings` one line ("registry.db: ...") for each fault of the database file
  // at `path`, looked at as any SQLite program would (no code of ours loaded): SQLite's own
  // integrity check, then keys or values that lost their key, names not filed under their
  // folded form, which lookups would miss, and a schema this code does not know.
  static void CheckFile(const std::string& path, std::vector<std::string>& findings);

  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  KeyId RootId(size_t index) const { return roots_.at(index); }

  // Follows `path` (one name per level) down from `from`; an empty path gives `from`.
  StoreStatus OpenKey(KeyId from, const std::vector<std::u16string>& path, KeyId& key);
  // As OpenKey, creating the missing levels; `created` tells whether the last one was new.
  // The top-level keys (the roots) are at depth 0.
  StoreStatus CreateKey(KeyId from, const std::vector<std::u16string>& path, KeyId& key,
                        bool& created);
  // Deletes the key at `path` below `from` (never `from` itself) with its whole subtree.
  StoreStatus DeleteKey(KeyId from, const std::vector<std::u16string>& path);

  StoreStatus SetValue(KeyId key, std::u16string_view name, uint32_t type, std::string_view data);
  StoreStatus GetValue(KeyId key, std::u16string_view name, StoredValue& value);
  StoreStatus DeleteValue(KeyId key, std::u16string_view name);

  // The subkey name or the value at `index` in creation order; kNotFound past the end.
  StoreStatus SubkeyAt(KeyId key, uint32_t index, std::u16string& name);
  StoreStatus ValueAt(KeyId key, uint32_t index, StoredValue& value);
  StoreStatus Summarize(KeyId key, KeySummary& summary);

  // Makes every commit so far, of any process, durable: a commit made with a full sync of
  // the log carries every earlier commit in the log to the disk with it. The log is then
  // copied into the database file as far as readers allow, to keep it short. Inside a batch
  // it commits what the batch holds first and goes on with a new batch transaction.
  StoreStatus Flush();

  // A batch: one write transaction, taken at once, that the calls until the matching
  // EndBatch join, each write in a savepoint of its own so that a failed call still changes
  // nothing. Batches nest; the outermost EndBatch commits. Meanwhile other connections read
  // the state before the batch and wait to write. EndBatch fails when the commit does, or
  // when a failure on the way took the batch's transaction with it (its writes are lost).
  StoreStatus BeginBatch();
  StoreStatus EndBatch();

 private:
  class Statement;
  class Transaction;

  explicit RegistryStore(sqlite3* db) : db_(db) {}
  StoreStatus Prepare(const std::vector<std::u16string>& roots);
  StoreStatus Upgrade();
  // Runs `work` (returning a StoreStatus) in one transaction, committed when it succeeds;
  // InTransaction takes the connection's lock first.
  // A `write` whose `work` changes the database with one statement (`one_statement`) needs
  // no savepoint in a batch: SQLite undoes a failed statement by itself.
  template <typename Work>
  StoreStatus Transact(bool write, Work work, bool one_statement = false);
  template <typename Work>
  StoreStatus InTransaction(bool write, Work work, bool one_statement = false);
  template <typename Work>
  StoreStatus InBatch(bool write, bool one_statement, Work work);
  StoreStatus Run(int slot, const char* sql);
  StoreStatus FlushCommitted();
  StoreStatus CheckKey(KeyId key);
  StoreStatus Walk(KeyId from, const std::vector<std::u16string>& path, size_t& walked,
                   KeyId& key);
  bool InsertKey(KeyId parent, std::u16string_view name, KeyId& key);
  StoreStatus Depth(KeyId key, size_t& depth);
  StoreStatus ReadValue(Statement& query, StoredValue& value);
  // Where the last call listing a key's subkeys or values found its entry: the key, the
  // index asked for, that entry's id or seq, and data_version then. Callers list by index,
  // one index after the other, and an index found by counting from the key's first entry
  // made a listing of n entries cost n^2 steps; from the mark a listing costs n seeks. Any
  // write of this connection forgets the marks, as does any batch boundary (a rollback
  // there undoes rows without a write call); others' commits show in data_version.
  struct ListingMark {
    KeyId key = -1;
    uint32_t index = 0;
    int64_t order = 0;
    int64_t version = -1;
  };
  // Where to look for entry `index` of `key`: from the mark's row, skipping the entries
  // between, when the mark holds for it; else from the first entry.
  struct Seek {
    int64_t from;
    int64_t skip;
  };
  static Seek SeekFrom(const ListingMark& mark, KeyId key, uint32_t index, int64_t version);
  int64_t DataVersion();  // -1 when it cannot be read
  void ForgetListings();
  sqlite3_stmt* Cached(int slot, const char* sql);
  StoreStatus Error(int code) const;
  // True while a batch's transaction holds the write lock.
  bool HoldsBatch() const;
  void ForgetBatchKeys();

  std::mutex mutex_;  // one call at a time on the connection
  sqlite3* db_;
  std::vector<KeyId> roots_;
  std::vector<sqlite3_stmt*> statements_;
  int batch_depth_ = 0;
  StoreStatus batch_lost_ = StoreStatus::kOk;  // why the batch's transaction ended early
  // While a batch holds the write lock no other connection can change the tree, so the keys
  // it has found or made are remembered: a merge of many values into few keys then looks
  // each key up once. Forgotten when the batch ends or lets go of the lock (Flush), when a
  // key is deleted, and when a call's writes are undone.
  std::map<std::pair<KeyId, std::u16string>, KeyId> batch_children_;  // (parent, folded name)
  std::unordered_set<KeyId> batch_live_;
  ListingMark subkey_mark_, value_mark_;
  bool changed_ = true;          // this connection may have committed since its last flush
  int64_t flushed_version_ = -1;  // data_version at the last flush: others' commits since
};

}  // namespace coredll
