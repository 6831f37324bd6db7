// merge-bench: the install's registry step against plain SQLite. Times MergeRegistry, the
// engine's step itself (gathering the package's registry text, parsing, expanding, a Detail
// line per value into the run's log, every write), on a fresh device per run; and the same
// keys and values inserted straight into tables like the registry's own (same collation
// and indexes) in one transaction. Both commit as the registry does (WAL, synchronous =
// NORMAL) and neither flushes. Prints the medians and their ratio; with --json, writes them.
//   merge-bench [--runs N] [--json FILE] PACKAGE
// PACKAGE is a package whose Registry entries hold the values (the engine's macros apply).
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/macro_sources.h"
#include "engine/package_registry_text.h"
#include "engine/status_reporter.h"
#include "package/extract.h"
#include "package/line_reader.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "text/fold.h"
#include "text/utf.h"

namespace {

using Clock = std::chrono::steady_clock;
using stowkit::Engine;

constexpr char16_t kPackage[] = u"\\Temp\\bench.pkg";
constexpr char16_t kWorkFolder[] = u"\\Temp\\work";
constexpr char16_t kLog[] = u"\\Temp\\merge-bench.log";

[[noreturn]] void Die(const std::string& why) {
  std::fprintf(stderr, "merge-bench: %s\n", why.c_str());
  std::exit(1);
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void UseFreshDevice(const std::string& folder, const std::string& package) {
  std::string error;
  if (!coredll::InitDevice(folder, coredll::Platform::kPocketPC, &error)) Die(error);
  coredll::SelectDevice(folder);
  std::filesystem::copy_file(package, folder + "/fs/Temp/bench.pkg");
}

// The engine as an install has it when the registry step starts: package open, macro table
// built, work folder made, log open, the product's status recorded (so the registry is open).
void PrepareEngine(Engine& engine) {
  std::u16string error;
  if (FAILED(stowkit::OpenPackage(error, kPackage, engine.package))) {
    Die("cannot open the package: " + stowkit::Utf16ToUtf8(error));
  }
  engine.application_name = u"Bench";
  engine.work_folder = kWorkFolder;
  if (!CreateDirectoryW(kWorkFolder, nullptr)) Die("cannot make the work folder");
  stowkit::BuildMacroTable(engine.macros, engine.work_folder, *engine.package, engine.job_macros);
  stowkit::report::SetLogPath(kLog);
  stowkit::SetStateDword(engine.application_name, stowkit::kStateStatus, 1);
}

double EngineMerge(const std::string& folder, const std::string& package) {
  UseFreshDevice(folder, package);
  stowkit::CreateStatusReporter();
  double elapsed;
  {
    Engine engine;
    PrepareEngine(engine);
    Clock::time_point start = Clock::now();
    HRESULT hr = stowkit::MergeRegistry(engine);
    elapsed = MillisecondsSince(start);
    if (FAILED(hr)) Die("the merge failed: " + stowkit::Utf16ToUtf8(engine.last_error_text));
  }
  stowkit::DestroyStatusReporter();
  return elapsed;
}

struct Row {
  int key;  // index into the key paths
  std::u16string name;
  uint32_t type;
  std::string data;
};

struct Rows {
  std::vector<std::u16string> keys;  // root\key, one row each
  std::vector<Row> values;
};

// Every registry line of the package, read as the engine reads them: the entries' texts
// joined in the work folder and read with the same line reader.
std::vector<std::u16string> RegistryLines(const Engine& engine) {
  const std::u16string path = std::u16string(kWorkFolder) + u"\\rows.registry";
  for (int i = 0; i < engine.package->NumEntries(); ++i) {
    const stowkit::CatalogEntry& entry = *engine.package->GetEntry(i);
    if (entry.EntryType() == stowkit::kRegistry &&
        FAILED(stowkit::AppendEntryBlob(entry, path + u".part", path))) {
      Die("cannot extract the registry text");
    }
  }
  stowkit::MappedLineReader reader;
  if (FAILED(reader.Open(path))) Die("the package holds no registry text");
  std::vector<std::u16string> lines;
  std::u16string line;
  while (reader.NextLine(line)) {
    if (stowkit::IsRegistryValueLine(line)) lines.push_back(line);
  }
  return lines;
}

// The keys and values the merge writes, expanded with the engine's macros; a later line for
// the same name replaces the value, as the registry keeps one value per name.
Rows ReadRows(const std::string& folder, const std::string& package) {
  UseFreshDevice(folder, package);
  stowkit::CreateStatusReporter();
  Rows rows;
  {
    Engine engine;
    PrepareEngine(engine);
    std::map<std::u16string, int> key_index;
    std::map<std::pair<int, std::u16string>, size_t> value_index;
    for (const std::u16string& line : RegistryLines(engine)) {
      stowkit::RegistryLine value;
      if (!stowkit::ParseRegistryLine(line, value)) Die("a registry line does not parse");
      std::u16string error;
      stowkit::ExpandMacros(engine.macros, value.key, error);
      stowkit::ExpandMacros(engine.macros, value.name, error);
      stowkit::ExpandMacros(engine.macros, value.data, error);
      auto [key, added] = key_index.emplace(value.key, int(rows.keys.size()));
      if (added) rows.keys.push_back(value.key);
      Row row{key->second, value.name, REG_SZ, {}};
      if (value.is_number) {
        uint32_t number = stowkit::RegistryNumber(value.data);
        row.type = REG_DWORD;
        row.data.assign(reinterpret_cast<const char*>(&number), sizeof number);
      } else {
        row.data.assign(reinterpret_cast<const char*>(value.data.c_str()),
                        (value.data.size() + 1) * sizeof(char16_t));
      }
      auto [slot, fresh] = value_index.emplace(std::pair{row.key, row.name}, rows.values.size());
      if (fresh) {
        rows.values.push_back(row);
      } else {
        rows.values[slot->second] = row;
      }
    }
  }
  stowkit::DestroyStatusReporter();
  return rows;
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Die(std::string(sql) + ": " + sqlite3_errmsg(db));
  }
}

void Step(sqlite3* db, sqlite3_stmt* statement) {
  if (sqlite3_step(statement) != SQLITE_DONE) Die(std::string("insert: ") + sqlite3_errmsg(db));
  sqlite3_reset(statement);
}

// The keys (one row per key path, under their root) and the values, in one transaction.
double StraightIntoSqlite(const Rows& rows, const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("cannot open " + path);
  Exec(db, "PRAGMA page_size = 1024");
  Exec(db, "PRAGMA encoding = 'UTF-16le'");
  Exec(db, "PRAGMA journal_mode = WAL");
  Exec(db, "PRAGMA synchronous = NORMAL");
  Exec(db, "CREATE TABLE keys (id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, "
           "name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE (parent, folded))");
  Exec(db, "CREATE INDEX keys_in_order ON keys (parent)");
  Exec(db, "CREATE TABLE vals (key INTEGER NOT NULL, seq INTEGER NOT NULL, "
           "name TEXT NOT NULL, folded TEXT NOT NULL, type INTEGER NOT NULL, "
           "data BLOB NOT NULL, PRIMARY KEY (key, seq)) WITHOUT ROWID");
  Exec(db, "CREATE UNIQUE INDEX vals_by_name ON vals (key, folded)");
  sqlite3_stmt *key_insert = nullptr, *value_insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO keys (parent, name, folded) VALUES (1, ?1, ?2)", -1,
                     &key_insert, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO vals VALUES (?1, ?2, ?3, ?6, ?4, ?5)", -1, &value_insert,
                     nullptr);
  Clock::time_point start = Clock::now();
  Exec(db, "BEGIN");
  for (const std::u16string& key : rows.keys) {
    std::u16string folded = stowkit::UpperCase(key);
    sqlite3_bind_text16(key_insert, 1, key.data(), int(key.size() * 2), SQLITE_STATIC);
    sqlite3_bind_text16(key_insert, 2, folded.data(), int(folded.size() * 2), SQLITE_STATIC);
    Step(db, key_insert);
  }
  std::vector<int> seq(rows.keys.size(), 0);
  for (const Row& row : rows.values) {
    sqlite3_bind_int(value_insert, 1, row.key + 2);
    sqlite3_bind_int(value_insert, 2, ++seq[size_t(row.key)]);
    sqlite3_bind_text16(value_insert, 3, row.name.data(), int(row.name.size() * 2), SQLITE_STATIC);
    sqlite3_bind_int(value_insert, 4, int(row.type));
    sqlite3_bind_blob(value_insert, 5, row.data.data(), int(row.data.size()), SQLITE_STATIC);
    std::u16string folded = stowkit::UpperCase(row.name);
    sqlite3_bind_text16(value_insert, 6, folded.data(), int(folded.size() * 2), SQLITE_STATIC);
    Step(db, value_insert);
  }
  Exec(db, "COMMIT");
  double elapsed = MillisecondsSince(start);
  sqlite3_finalize(key_insert);
  sqlite3_finalize(value_insert);
  sqlite3_close(db);
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::string json, package;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--json") && i + 1 < argc) {
      json = argv[++i];
    } else {
      package = std::filesystem::absolute(argv[i]).string();
    }
  }
  if (package.empty()) Die("usage: merge-bench [--runs N] [--json FILE] PACKAGE");
  char pattern[] = "/tmp/stowkit-merge-bench-XXXXXX";
  std::string work = mkdtemp(pattern);
  Rows rows = ReadRows(work + "/rows", package);

  std::vector<double> merges, inserts;
  for (int run = 0; run <= runs; ++run) {  // run 0 warms up
    std::string suffix = std::to_string(run);
    double merge = EngineMerge(work + "/device" + suffix, package);
    double insert = StraightIntoSqlite(rows, work + "/direct" + suffix + ".db");
    if (run == 0) continue;
    merges.push_back(merge);
    inserts.push_back(insert);
  }
  std::filesystem::remove_all(work);
  double merge = Median(merges), insert = Median(inserts);
  std::printf("registry merge of %zu values (%zu keys), median of %d runs\n", rows.values.size(),
              rows.keys.size(), runs);
  std::printf("  stowkit MergeRegistry                 %8.1f ms\n", merge);
  std::printf("  SQLite, one transaction               %8.1f ms\n", insert);
  std::printf("  ratio                                 %8.2f x\n", merge / insert);
  if (!json.empty()) {
    std::ofstream(json) << "{\"values\": " << rows.values.size() << ", \"merge_ms\": " << merge
                        << ", \"insert_ms\": " << insert << "}\n";
  }
  return 0;
}
