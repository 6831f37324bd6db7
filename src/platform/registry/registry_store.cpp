#include "platform/registry/registry_store.h"

#include <sqlite3.h>

#include "platform/registry/log_vfs.h"
#include "text/fold.h"

namespace coredll {
namespace {

// Statements are prepared once per connection, in these slots.
enum Slot : int {
  kBeginRead,
  kBeginWrite,
  kCommit,
  kRollback,
  kDepth,
  kKeyExists,
  kChild,
  kInsertKey,
  kDeleteTreeValues,
  kDeleteTreeKeys,
  kUpsertValue,
  kGetValue,
  kDeleteValue,
  kSubkeyAt,
  kValueAt,
  kSummarizeKeys,
  kSummarizeValues,
  kMarkFlush,
  kSyncFull,
  kSyncNormal,
  kDataVersion,
  kSavepoint,
  kRelease,
  kRollbackTo,
  kSlotCount
};

constexpr char kFoldCollation[] = "fold";

// Settings of every connection; the page size and the encoding only count for a new file,
// which then keeps names as the UTF-16 that the collation compares. A commit waits neither
// for the disk (synchronous=NORMAL) nor for the log to be copied into the database file:
// that copy, which must wait for the disk, happens once the log has grown to 4 MiB, and the
// log file is then cut back to that size. Not at every flush: a copy writes every page
// again where the log takes a transaction in one write (log_vfs.h), and an install's log is
// well below it. The bound matters to every process that opens the registry first: it
// rebuilds the log's index by reading all of it. Pages of 4 KiB measured an install of
// 2,000 values a tenth slower: time is what is kept.
constexpr char kSettings[] =
    "PRAGMA page_size = 1024;"
    "PRAGMA encoding = 'UTF-16le';"
    "PRAGMA journal_mode = WAL;"
    "PRAGMA synchronous = NORMAL;"
    "PRAGMA wal_autocheckpoint = 4096;"
    "PRAGMA journal_size_limit = 4194304;";

// Keys get AUTOINCREMENT ids so that a deleted key's id never names another key. Values
// are numbered per key in creation order; the (key, folded) index finds them by name.
//
// Each name is kept as written and, in `folded`, as stowkit::UpperCase makes it: lookups
// compare the folded copies with the built-in binary collation, so any SQLite program can
// read and check the file without this code.
constexpr int kSchemaVersion = 1;
#define STOWKIT_KEYS_TABLE(name) \
  "CREATE TABLE IF NOT EXISTS " name " (" \
  "  id INTEGER PRIMARY KEY AUTOINCREMENT," \
  "  parent INTEGER NOT NULL," \
  "  name TEXT NOT NULL," \
  "  folded TEXT NOT NULL," \
  "  UNIQUE (parent, folded));"
#define STOWKIT_VALS_TABLE(name) \
  "CREATE TABLE IF NOT EXISTS " name " (" \
  "  key INTEGER NOT NULL," \
  "  seq INTEGER NOT NULL," \
  "  name TEXT NOT NULL," \
  "  folded TEXT NOT NULL," \
  "  type INTEGER NOT NULL," \
  "  data BLOB NOT NULL," \
  "  PRIMARY KEY (key, seq)) WITHOUT ROWID;"

constexpr char kSchema[] =
    STOWKIT_KEYS_TABLE("keys")
    "CREATE INDEX IF NOT EXISTS keys_in_order ON keys (parent);"
    STOWKIT_VALS_TABLE("vals")
    "CREATE UNIQUE INDEX IF NOT EXISTS vals_by_name ON vals (key, folded);"
    "CREATE TABLE IF NOT EXISTS flushes (count INTEGER NOT NULL);"
    "INSERT INTO flushes SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM flushes);";

// From the first schema, whose names compared through a collation of this code's own. The
// tables are made anew, as SQLite cannot change a column's collation in place; the new keys
// table carries on the old one's id sequence, so that no deleted key's id comes back. The
// indexes follow from kSchema.
constexpr char kMigrateFromFirst[] =
    STOWKIT_KEYS_TABLE("keys_v1")
    "INSERT INTO keys_v1 (id, parent, name, folded) "
    "  SELECT id, parent, name, fold_name(name) FROM keys;"
    "UPDATE sqlite_sequence SET seq = (SELECT max(seq) FROM sqlite_sequence "
    "  WHERE name IN ('keys', 'keys_v1')) WHERE name = 'keys_v1';"
    "DROP TABLE keys;"
    "ALTER TABLE keys_v1 RENAME TO keys;"
    STOWKIT_VALS_TABLE("vals_v1")
    "INSERT INTO vals_v1 (key, seq, name, folded, type, data) "
    "  SELECT key, seq, name, fold_name(name), type, data FROM vals;"
    "DROP TABLE vals;"
    "ALTER TABLE vals_v1 RENAME TO vals;";
#undef STOWKIT_KEYS_TABLE
#undef STOWKIT_VALS_TABLE

constexpr char kTree[] =
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";

// The collation that the first schema's tables name: a database of that schema cannot be
// read without it, not even to migrate it.
int FoldCompare(void*, int a_bytes, const void* a, int b_bytes, const void* b) {
  return stowkit::CompareNoCase(
      std::u16string_view(static_cast<const char16_t*>(a), size_t(a_bytes) / 2),
      std::u16string_view(static_cast<const char16_t*>(b), size_t(b_bytes) / 2));
}

// fold_name(text): the folded copy of a name, for the migration, which folds in SQL.
void FoldName(sqlite3_context* context, int, sqlite3_value** args) {
  auto* text = static_cast<const char16_t*>(sqlite3_value_text16(args[0]));
  std::u16string folded = stowkit::UpperCase(
      std::u16string_view(text ? text : u"", size_t(sqlite3_value_bytes16(args[0])) / 2));
  sqlite3_result_text16(context, folded.data(), int(folded.size() * 2), SQLITE_TRANSIENT);
}

// The single number that a query such as "PRAGMA user_version" answers; -1 on failure.
int64_t QueryNumber(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  int64_t number = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
    int step = sqlite3_step(stmt);
    if (step == SQLITE_ROW) number = sqlite3_column_int64(stmt, 0);
    if (step == SQLITE_DONE) number = 0;
  }
  sqlite3_finalize(stmt);
  return number;
}

}  // namespace

// A prepared statement borrowed for one use: bound, stepped, then reset on destruction.
class RegistryStore::Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, std::u16string_view text) {
    // Never a null pointer: that would bind NULL instead of the empty name.
    sqlite3_bind_text16(stmt_, index, text.empty() ? u"" : text.data(), int(text.size() * 2),
                        SQLITE_STATIC);
    return *this;
  }
  // The name's folded copy, which the statement compares or stores.
  Statement& BindFolded(int index, std::u16string_view name) {
    std::u16string folded = stowkit::UpperCase(name);
    sqlite3_bind_text16(stmt_, index, folded.empty() ? u"" : folded.data(),
                        int(folded.size() * 2), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, std::string_view bytes) {
    if (bytes.empty()) {
      sqlite3_bind_zeroblob(stmt_, index, 0);
    } else {
      sqlite3_bind_blob(stmt_, index, bytes.data(), int(bytes.size()), SQLITE_STATIC);
    }
    return *this;
  }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }

  int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  std::u16string Text(int column) {
    auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, column));
    return std::u16string(text ? text : u"", size_t(sqlite3_column_bytes16(stmt_, column)) / 2);
  }
  std::string Blob(int column) {
    auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return std::string(bytes ? bytes : "", size_t(sqlite3_column_bytes(stmt_, column)));
  }

 private:
  sqlite3_stmt* stmt_;
};

// One transaction; rolled back unless committed. A write transaction takes the write lock
// at once, so it never has to upgrade a read snapshot that another writer made stale.
class RegistryStore::Transaction {
 public:
  Transaction(RegistryStore& store, bool write) : store_(store) {
    Statement begin(write ? store.Cached(kBeginWrite, "BEGIN IMMEDIATE")
                          : store.Cached(kBeginRead, "BEGIN"));
    code_ = begin.Step() == SQLITE_DONE ? SQLITE_OK : sqlite3_extended_errcode(store.db_);
  }
  ~Transaction() {
    if (sqlite3_get_autocommit(store_.db_)) return;
    Statement(store_.Cached(kRollback, "ROLLBACK")).Step();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  StoreStatus begun() const { return store_.Error(code_); }

  // `status` if it is a failure, else the result of committing.
  StoreStatus Commit(StoreStatus status) {
    if (status != StoreStatus::kOk) return status;
    Statement commit(store_.Cached(kCommit, "COMMIT"));
    return commit.Step() == SQLITE_DONE ? StoreStatus::kOk : store_.Error(SQLITE_ERROR);
  }

 private:
  RegistryStore& store_;
  int code_;
};

std::shared_ptr<RegistryStore> RegistryStore::Open(const std::string& path,
                                                   const std::vector<std::u16string>& roots,
                                                   StoreStatus& status) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
              SQLITE_OPEN_NOFOLLOW;
  if (sqlite3_open_v2(path.c_str(), &db, flags, RegistryVfs()) != SQLITE_OK) {
    sqlite3_close(db);
    status = StoreStatus::kCannotOpen;
    return nullptr;
  }
  std::shared_ptr<RegistryStore> store(new RegistryStore(db));
  status = store->Prepare(roots);
  return status == StoreStatus::kOk ? store : nullptr;
}

void RegistryStore::CheckFile(const std::string& path, std::vector<std::string>& findings) {
  sqlite3* db = nullptr;
  auto report = [&](const std::string& what) { findings.push_back("registry.db: " + what); };
  // Read-write, as the next program opens it: a log left by a killed writer is recovered.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, RegistryVfs()) != SQLITE_OK) {
    report(sqlite3_errmsg(db));
    sqlite3_close(db);
    return;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_stmt* check = nullptr;
  size_t before = findings.size();
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) != SQLITE_OK) {
    report(sqlite3_errmsg(db));
  } else {
    int step;
    while ((step = sqlite3_step(check)) == SQLITE_ROW) {
      auto* line = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
      if (line && std::string_view(line) != "ok") report(line);
    }
    if (step != SQLITE_DONE) report(sqlite3_errmsg(db));
  }
  sqlite3_finalize(check);
  int64_t version = QueryNumber(db, "PRAGMA user_version");
  if (findings.size() == before && version != kSchemaVersion) {
    report("schema version " + std::to_string(version) + ", not " +
           std::to_string(kSchemaVersion));
  } else if (findings.size() == before) {
    int64_t orphans = QueryNumber(db,
        "SELECT count(*) FROM keys WHERE parent != 0 AND parent NOT IN (SELECT id FROM keys)");
    if (orphans != 0) report(std::to_string(orphans) + " keys whose parent key is gone");
    int64_t lost = QueryNumber(db,
        "SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)");
    if (lost != 0) report(std::to_string(lost) + " values whose key is gone");
    sqlite3_stmt* names = nullptr;
    sqlite3_prepare_v2(db,
        "SELECT 'key', name, folded FROM keys UNION ALL SELECT 'value', name, folded FROM vals",
        -1, &names, nullptr);
    while (names && sqlite3_step(names) == SQLITE_ROW) {
      auto text = [&](int column) {
        auto* units = static_cast<const char16_t*>(sqlite3_column_text16(names, column));
        return std::u16string(units ? units : u"",
                              size_t(sqlite3_column_bytes16(names, column)) / 2);
      };
      std::u16string name = text(1);
      if (text(2) == stowkit::UpperCase(name)) continue;
      auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(names, 0));
      // sqlite3_column_text gives the name as UTF-8, which the line is written in.
      auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(names, 1));
      report(std::string(kind ? kind : "") + " '" + (utf8 ? utf8 : "") +
             "' is not filed under its folded name, so lookups miss it");
    }
    sqlite3_finalize(names);
  }
  sqlite3_close(db);
}

RegistryStore::~RegistryStore() {
  for (sqlite3_stmt* stmt : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

template <typename Work>
StoreStatus RegistryStore::Transact(bool write, Work work, bool one_statement) {
  if (write) {
    changed_ = true;
    ForgetListings();
  }
  if (batch_depth_ > 0) return InBatch(write, one_statement, work);
  Transaction transaction(*this, write);
  if (transaction.begun() != StoreStatus::kOk) return transaction.begun();
  return transaction.Commit(work());
}

// A write is undone back to its savepoint when it fails, and the batch goes on; a read has
// nothing to undo and needs none, nor does a write of one statement. A failure that ended
// the batch's whole transaction (a full disk, an I/O error) is kept for EndBatch.
template <typename Work>
StoreStatus RegistryStore::InBatch(bool write, bool one_statement, Work work) {
  bool savepoint = write && !one_statement;
  StoreStatus status = savepoint ? Run(kSavepoint, "SAVEPOINT call") : StoreStatus::kOk;
  if (status != StoreStatus::kOk) return status;
  status = work();
  if (status == StoreStatus::kOk) return savepoint ? Run(kRelease, "RELEASE call") : status;
  if (write) ForgetBatchKeys();  // keys the call made are undone with it
  if (sqlite3_get_autocommit(db_)) {
    if (batch_lost_ == StoreStatus::kOk) batch_lost_ = status;
    return status;
  }
  if (savepoint) {
    Run(kRollbackTo, "ROLLBACK TO call");
    Run(kRelease, "RELEASE call");
  }
  return status;
}

StoreStatus RegistryStore::Run(int slot, const char* sql) {
  Statement statement(Cached(slot, sql));
  return statement.Step() == SQLITE_DONE ? StoreStatus::kOk : Error(SQLITE_ERROR);
}

template <typename Work>
StoreStatus RegistryStore::InTransaction(bool write, Work work, bool one_statement) {
  std::lock_guard lock(mutex_);
  return Transact(write, work, one_statement);
}

StoreStatus RegistryStore::Prepare(const std::vector<std::u16string>& roots) {
  statements_.assign(kSlotCount, nullptr);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db_, 1);
  if (sqlite3_create_collation(db_, kFoldCollation, SQLITE_UTF16_ALIGNED, nullptr,
                               FoldCompare) != SQLITE_OK ||
      sqlite3_create_function(db_, "fold_name", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC,
                              nullptr, FoldName, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db_, kSettings, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Error(sqlite3_extended_errcode(db_));
  }
  return InTransaction(true, [&] {
    StoreStatus status = Upgrade();
    if (status != StoreStatus::kOk) return status;
    for (const std::u16string& name : roots) {
      KeyId id = 0;
      size_t walked = 0;
      status = Walk(0, {name}, walked, id);
      if (status != StoreStatus::kOk) return status;
      if (walked == 0 && !InsertKey(0, name, id)) return Error(SQLITE_ERROR);
      roots_.push_back(id);
    }
    return StoreStatus::kOk;
  });
}

// Brings the database to kSchemaVersion inside Prepare's write transaction, so that of
// several processes opening an older device at once one migrates and the others find the
// result. A database of a later version than this code knows is left alone.
StoreStatus RegistryStore::Upgrade() {
  int64_t version = QueryNumber(db_, "PRAGMA user_version");
  if (version < 0) return Error(SQLITE_ERROR);
  if (version > kSchemaVersion) return StoreStatus::kCannotOpen;
  if (version == 0) {
    int64_t first = QueryNumber(db_,
        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'keys'");
    if (first < 0) return Error(SQLITE_ERROR);
    if (first > 0 &&
        sqlite3_exec(db_, kMigrateFromFirst, nullptr, nullptr, nullptr) != SQLITE_OK) {
      return Error(SQLITE_ERROR);
    }
  }
  if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Error(SQLITE_ERROR);
  }
  if (version == kSchemaVersion) return StoreStatus::kOk;
  std::string stamp = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
  return sqlite3_exec(db_, stamp.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK
             ? StoreStatus::kOk
             : Error(SQLITE_ERROR);
}

sqlite3_stmt* RegistryStore::Cached(int slot, const char* sql) {
  sqlite3_stmt*& stmt = statements_[size_t(slot)];
  if (!stmt) sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  return stmt;
}

StoreStatus RegistryStore::Error(int code) const {
  if (code == SQLITE_ERROR) code = sqlite3_extended_errcode(db_);
  switch (code & 0xFF) {
    case SQLITE_OK: return StoreStatus::kOk;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return StoreStatus::kBusy;
    case SQLITE_FULL: return StoreStatus::kFull;
    case SQLITE_CANTOPEN: return StoreStatus::kCannotOpen;
    default: return StoreStatus::kIoError;
  }
}

bool RegistryStore::HoldsBatch() const { return batch_depth_ > 0 && !sqlite3_get_autocommit(db_); }

void RegistryStore::ForgetBatchKeys() {
  batch_children_.clear();
  batch_live_.clear();
  ForgetListings();  // every batch boundary comes here, and a rollback may pass one
}

void RegistryStore::ForgetListings() { subkey_mark_ = value_mark_ = ListingMark(); }

RegistryStore::Seek RegistryStore::SeekFrom(const ListingMark& mark, KeyId key, uint32_t index,
                                            int64_t version) {
  if (version >= 0 && mark.version == version && mark.key == key && mark.index <= index) {
    return {mark.order, int64_t{index - mark.index}};
  }
  return {INT64_MIN, int64_t{index}};
}

int64_t RegistryStore::DataVersion() {
  Statement version(Cached(kDataVersion, "PRAGMA data_version"));
  return version.Step() == SQLITE_ROW ? version.Int(0) : -1;
}

StoreStatus RegistryStore::CheckKey(KeyId key) {
  if (HoldsBatch() && batch_live_.count(key)) return StoreStatus::kOk;
  Statement exists(Cached(kKeyExists, "SELECT 1 FROM keys WHERE id = ?1"));
  switch (exists.Bind(1, key).Step()) {
    case SQLITE_ROW:
      if (HoldsBatch()) batch_live_.insert(key);
      return StoreStatus::kOk;
    case SQLITE_DONE: return StoreStatus::kKeyDeleted;
    default: return Error(SQLITE_ERROR);
  }
}

// Goes down `path` from `from` as far as the keys exist: `walked` levels were found and
// `key` is the last key found. `from` 0 is the level above the roots.
StoreStatus RegistryStore::Walk(KeyId from, const std::vector<std::u16string>& path,
                                size_t& walked, KeyId& key) {
  if (from != 0) {
    StoreStatus status = CheckKey(from);
    if (status != StoreStatus::kOk) return status;
  }
  key = from;
  for (walked = 0; walked < path.size(); ++walked) {
    std::pair<KeyId, std::u16string> level;
    bool remember = HoldsBatch();
    if (remember) {
      level = {key, stowkit::UpperCase(path[walked])};
      auto known = batch_children_.find(level);
      if (known != batch_children_.end()) {
        key = known->second;
        continue;
      }
    }
    Statement child(Cached(kChild, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2"));
    int step = child.Bind(1, key).BindFolded(2, path[walked]).Step();
    if (step == SQLITE_DONE) break;
    if (step != SQLITE_ROW) return Error(SQLITE_ERROR);
    key = child.Int(0);
    if (remember) {
      batch_children_.emplace(std::move(level), key);
      batch_live_.insert(key);
    }
  }
  return StoreStatus::kOk;
}

bool RegistryStore::InsertKey(KeyId parent, std::u16string_view name, KeyId& key) {
  Statement insert(Cached(kInsertKey,
                          "INSERT INTO keys (parent, name, folded) VALUES (?1, ?2, ?3)"));
  if (insert.Bind(1, parent).Bind(2, name).BindFolded(3, name).Step() != SQLITE_DONE) {
    return false;
  }
  key = sqlite3_last_insert_rowid(db_);
  return true;
}

StoreStatus RegistryStore::Depth(KeyId key, size_t& depth) {
  Statement up(Cached(kDepth,
      "WITH RECURSIVE up(id, depth) AS (SELECT ?1, 0 UNION ALL "
      "SELECT keys.parent, up.depth + 1 FROM keys JOIN up ON keys.id = up.id "
      "WHERE keys.parent != 0) SELECT max(depth) FROM up"));
  if (up.Bind(1, key).Step() != SQLITE_ROW) return Error(SQLITE_ERROR);
  depth = size_t(up.Int(0));
  return StoreStatus::kOk;
}

StoreStatus RegistryStore::OpenKey(KeyId from, const std::vector<std::u16string>& path,
                                   KeyId& key) {
  return InTransaction(false, [&] {
    size_t walked = 0;
    KeyId found = 0;
    StoreStatus status = Walk(from, path, walked, found);
    if (status != StoreStatus::kOk) return status;
    if (walked < path.size()) return StoreStatus::kNotFound;
    key = found;
    return StoreStatus::kOk;
  });
}

StoreStatus RegistryStore::CreateKey(KeyId from, const std::vector<std::u16string>& path,
                                     KeyId& key, bool& created) {
  created = false;
  StoreStatus status = OpenKey(from, path, key);
  if (status != StoreStatus::kNotFound) return status;
  // Some level is missing: look again under the write lock, as another process may have
  // made it meanwhile, and create what is still missing.
  KeyId at = 0;
  status = InTransaction(true, [&] {
    size_t walked = 0;
    StoreStatus walk = Walk(from, path, walked, at);
    if (walk != StoreStatus::kOk) return walk;
    size_t depth = 0;
    StoreStatus measured = Depth(from, depth);
    if (measured != StoreStatus::kOk) return measured;
    if (depth + path.size() > kMaxDepth) return StoreStatus::kTooDeep;
    created = walked < path.size();
    for (; walked < path.size(); ++walked) {
      if (!InsertKey(at, path[walked], at)) return Error(SQLITE_ERROR);
    }
    return StoreStatus::kOk;
  });
  if (status == StoreStatus::kOk) key = at;
  return status;
}

StoreStatus RegistryStore::DeleteKey(KeyId from, const std::vector<std::u16string>& path) {
  return InTransaction(true, [&] {
    size_t walked = 0;
    KeyId doomed = 0;
    StoreStatus status = Walk(from, path, walked, doomed);
    if (status != StoreStatus::kOk) return status;
    if (path.empty() || walked < path.size()) return StoreStatus::kNotFound;
    static const std::string values = std::string(kTree) + "DELETE FROM vals WHERE key IN tree";
    static const std::string keys = std::string(kTree) + "DELETE FROM keys WHERE id IN tree";
    Statement drop_values(Cached(kDeleteTreeValues, values.c_str()));
    Statement drop_keys(Cached(kDeleteTreeKeys, keys.c_str()));
    if (drop_values.Bind(1, doomed).Step() != SQLITE_DONE ||
        drop_keys.Bind(1, doomed).Step() != SQLITE_DONE) {
      return Error(SQLITE_ERROR);
    }
    ForgetBatchKeys();
    return StoreStatus::kOk;
  });
}

StoreStatus RegistryStore::SetValue(KeyId key, std::u16string_view name, uint32_t type,
                                    std::string_view data) {
  return InTransaction(true, [&] {
    StoreStatus status = CheckKey(key);
    if (status != StoreStatus::kOk) return status;
    Statement upsert(Cached(kUpsertValue,
        "INSERT INTO vals (key, seq, name, folded, type, data) "
        "VALUES (?1, (SELECT ifnull(max(seq), 0) + 1 FROM vals WHERE key = ?1), ?2, ?5, ?3, ?4) "
        "ON CONFLICT (key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"));
    upsert.Bind(1, key).Bind(2, name).Bind(3, int64_t{type}).BindBlob(4, data)
        .BindFolded(5, name);
    return upsert.Step() == SQLITE_DONE ? StoreStatus::kOk : Error(SQLITE_ERROR);
  }, true);
}

StoreStatus RegistryStore::GetValue(KeyId key, std::u16string_view name, StoredValue& value) {
  return InTransaction(false, [&] {
    StoreStatus status = CheckKey(key);
    if (status != StoreStatus::kOk) return status;
    Statement get(Cached(kGetValue,
                         "SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2"));
    return ReadValue(get.Bind(1, key).BindFolded(2, name), value);
  });
}

StoreStatus RegistryStore::DeleteValue(KeyId key, std::u16string_view name) {
  return InTransaction(true, [&] {
    StoreStatus status = CheckKey(key);
    if (status != StoreStatus::kOk) return status;
    Statement drop(Cached(kDeleteValue, "DELETE FROM vals WHERE key = ?1 AND folded = ?2"));
    if (drop.Bind(1, key).BindFolded(2, name).Step() != SQLITE_DONE) return Error(SQLITE_ERROR);
    return sqlite3_changes(db_) == 0 ? StoreStatus::kNotFound : StoreStatus::kOk;
  }, true);
}

StoreStatus RegistryStore::SubkeyAt(KeyId key, uint32_t index, std::u16string& name) {
  return InTransaction(false, [&] {
    StoreStatus status = CheckKey(key);
    if (status != StoreStatus::kOk) return status;
    int64_t version = DataVersion();
    Seek seek = SeekFrom(subkey_mark_, key, index, version);
    // keys_in_order holds (parent, id): the seek is one lookup in it.
    Statement at(Cached(kSubkeyAt,
                        "SELECT name, id FROM keys WHERE parent = ?1 AND id >= ?2 "
                        "ORDER BY id LIMIT 1 OFFSET ?3"));
    int step = at.Bind(1, key).Bind(2, seek.from).Bind(3, seek.skip).Step();
    if (step == SQLITE_DONE) return StoreStatus::kNotFound;
    if (step != SQLITE_ROW) return Error(SQLITE_ERROR);
    name = at.Text(0);
    subkey_mark_ = {key, index, at.Int(1), version};
    return StoreStatus::kOk;
  });
}

StoreStatus RegistryStore::ValueAt(KeyId key, uint32_t index, StoredValue& value) {
  return InTransaction(false, [&] {
    StoreStatus status = CheckKey(key);
    if (status != StoreStatus::kOk) return status;
    int64_t version = DataVersion();
    Seek seek = SeekFrom(value_mark_, key, index, version);
    Statement at(Cached(kValueAt,
                        "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND seq >= ?2 "
                        "ORDER BY seq LIMIT 1 OFFSET ?3"));
    status = ReadValue(at.Bind(1, key).Bind(2, seek.from).Bind(3, seek.skip), value);
    if (status == StoreStatus::kOk) value_mark_ = {key, index, at.Int(3), version};
    return status;
  });
}

// Steps a query for (name, type, data) and reads its row.
StoreStatus RegistryStore::ReadValue(Statement& query, StoredValue& value) {
  int step = query.Step();
  if (step == SQLITE_DONE) return StoreStatus::kNotFound;
  if (step != SQLITE_ROW) return Error(SQLITE_ERROR);
  value = StoredValue{query.Text(0), uint32_t(query.Int(1)), query.Blob(2)};
  return StoreStatus::kOk;
}

StoreStatus RegistryStore::Summarize(KeyId key, KeySummary& summary) {
  return InTransaction(false, [&] {
    StoreStatus status = CheckKey(key);
    if (status != StoreStatus::kOk) return status;
    // Names are stored as UTF-16, so a name's blob holds two bytes per code unit.
    Statement keys(Cached(kSummarizeKeys,
        "SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0) / 2 "
        "FROM keys WHERE parent = ?1"));
    Statement values(Cached(kSummarizeValues,
        "SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0) / 2, "
        "ifnull(max(length(data)), 0) FROM vals WHERE key = ?1"));
    if (keys.Bind(1, key).Step() != SQLITE_ROW || values.Bind(1, key).Step() != SQLITE_ROW) {
      return Error(SQLITE_ERROR);
    }
    summary = KeySummary{uint32_t(keys.Int(0)), uint32_t(keys.Int(1)), uint32_t(values.Int(0)),
                         uint32_t(values.Int(1)), uint32_t(values.Int(2))};
    return StoreStatus::kOk;
  });
}

StoreStatus RegistryStore::Flush() {
  std::lock_guard lock(mutex_);
  bool batched = HoldsBatch();
  StoreStatus held = batched ? Run(kCommit, "COMMIT") : StoreStatus::kOk;
  if (held != StoreStatus::kOk) {
    Run(kRollback, "ROLLBACK");
    batch_lost_ = held;
  }
  ForgetBatchKeys();  // others may write between the commit and the batch's new transaction
  StoreStatus status = FlushCommitted();
  // Should the batch not begin again, the calls after this go one transaction each.
  if (batch_depth_ > 0) Run(kBeginWrite, "BEGIN IMMEDIATE");
  return held != StoreStatus::kOk ? held : status;
}

// Nothing to do when no connection committed anything since this one's last flush: every
// commit before that is durable already.
StoreStatus RegistryStore::FlushCommitted() {
  int64_t others = DataVersion();
  if (others < 0) return Error(SQLITE_ERROR);
  if (!changed_ && others == flushed_version_) return StoreStatus::kOk;
  if (Run(kSyncFull, "PRAGMA synchronous = FULL") != StoreStatus::kOk) return Error(SQLITE_ERROR);
  StoreStatus status;
  {
    Transaction transaction(*this, true);
    status = transaction.begun();
    if (status == StoreStatus::kOk) {
      status = transaction.Commit(Run(kMarkFlush, "UPDATE flushes SET count = count + 1"));
    }
  }
  Run(kSyncNormal, "PRAGMA synchronous = NORMAL");
  if (status == StoreStatus::kOk) {
    changed_ = false;
    flushed_version_ = others;
  }
  return status;
}

StoreStatus RegistryStore::BeginBatch() {
  std::lock_guard lock(mutex_);
  if (batch_depth_ == 0) {
    StoreStatus status = Run(kBeginWrite, "BEGIN IMMEDIATE");
    if (status != StoreStatus::kOk) return status;
    batch_lost_ = StoreStatus::kOk;
    ForgetBatchKeys();
  }
  ++batch_depth_;
  return StoreStatus::kOk;
}

StoreStatus RegistryStore::EndBatch() {
  std::lock_guard lock(mutex_);
  if (batch_depth_ == 0 || --batch_depth_ > 0) return StoreStatus::kOk;
  ForgetBatchKeys();
  if (sqlite3_get_autocommit(db_)) return batch_lost_;
  changed_ = true;
  StoreStatus status = Run(kCommit, "COMMIT");
  if (status != StoreStatus::kOk) Run(kRollback, "ROLLBACK");
  return batch_lost_ != StoreStatus::kOk ? batch_lost_ : status;
}

}  // namespace coredll
