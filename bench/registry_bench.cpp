// registry-bench: what one transaction per registry call costs. Writes 10,000 text values
// through SetRegString on a fresh device, and the same rows straight into SQLite in one
// transaction (same table and name folding), prints both times and their ratio, then the
// time of one RegFlushKey after the last run. Each side runs kRuns times, the registry on
// a fresh device each time; the best run counts.
//   registry-bench [COUNT]
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "services/registry_services.h"
#include "text/fold.h"
#include "text/utf.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Row {
  std::u16string name;
  std::u16string text;
};

std::vector<Row> MakeRows(int count) {
  std::vector<Row> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({stowkit::Utf8ToUtf16("Value" + std::to_string(i)),
                    stowkit::Utf8ToUtf16("\\Program Files\\Bench\\file" + std::to_string(i))});
  }
  return rows;
}

// On a fresh device, which stays selected for the flush.
double ThroughServices(const std::vector<Row>& rows, const std::string& device) {
  std::string error;
  if (!coredll::InitDevice(device, coredll::Platform::kPocketPC, &error)) {
    std::fprintf(stderr, "registry-bench: %s\n", error.c_str());
    std::exit(1);
  }
  coredll::SelectDevice(device);
  Clock::time_point start = Clock::now();
  for (const Row& row : rows) {
    if (!stowkit::SetRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Bench", row.name, row.text)) {
      std::fprintf(stderr, "registry-bench: SetRegString failed: %u\n", GetLastError());
      std::exit(1);
    }
  }
  return MillisecondsSince(start);
}

int Fold(void*, int a_bytes, const void* a, int b_bytes, const void* b) {
  return stowkit::CompareNoCase({static_cast<const char16_t*>(a), size_t(a_bytes) / 2},
                                {static_cast<const char16_t*>(b), size_t(b_bytes) / 2});
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "registry-bench: %s: %s\n", sql, sqlite3_errmsg(db));
    std::exit(1);
  }
}

// The same rows into a table like the registry's own, in one transaction.
double StraightIntoSqlite(const std::vector<Row>& rows, const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_create_collation(db, "fold", SQLITE_UTF16_ALIGNED, nullptr, Fold);
  Exec(db, "PRAGMA encoding = 'UTF-16le'");
  Exec(db, "PRAGMA journal_mode = WAL");
  Exec(db, "PRAGMA synchronous = NORMAL");
  Exec(db, "CREATE TABLE vals (key INTEGER NOT NULL, seq INTEGER NOT NULL, "
           "name TEXT NOT NULL COLLATE fold, type INTEGER NOT NULL, data BLOB NOT NULL, "
           "PRIMARY KEY (key, seq)) WITHOUT ROWID");
  Exec(db, "CREATE UNIQUE INDEX vals_by_name ON vals (key, name)");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO vals VALUES (1, ?1, ?2, 1, ?3)", -1, &insert, nullptr);
  Clock::time_point start = Clock::now();
  Exec(db, "BEGIN");
  int seq = 0;
  for (const Row& row : rows) {
    sqlite3_bind_int(insert, 1, ++seq);
    sqlite3_bind_text16(insert, 2, row.name.data(), int(row.name.size() * 2), SQLITE_STATIC);
    sqlite3_bind_blob(insert, 3, row.text.c_str(), int((row.text.size() + 1) * 2), SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) {
      std::fprintf(stderr, "registry-bench: insert: %s\n", sqlite3_errmsg(db));
      std::exit(1);
    }
    sqlite3_reset(insert);
  }
  Exec(db, "COMMIT");
  double elapsed = MillisecondsSince(start);
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  char pattern[] = "/tmp/stowkit-registry-bench-XXXXXX";
  std::string work = mkdtemp(pattern);
  std::vector<Row> rows = MakeRows(count);

  double services = 1e300, direct = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    std::string suffix = std::to_string(run);
    services = std::min(services, ThroughServices(rows, work + "/device" + suffix));
    direct = std::min(direct, StraightIntoSqlite(rows, work + "/direct" + suffix));
  }
  Clock::time_point start = Clock::now();
  LONG flushed = RegFlushKey(HKEY_LOCAL_MACHINE);
  double flush = MillisecondsSince(start);
  std::filesystem::remove_all(work);
  if (flushed != ERROR_SUCCESS) {
    std::fprintf(stderr, "registry-bench: RegFlushKey failed: %ld\n", long(flushed));
    return 1;
  }

  std::printf("registry-bench: %d text values, best of %d runs\n", count, kRuns);
  std::printf("  SetRegString, one transaction per call  %9.1f ms  %7.1f us per value\n",
              services, services * 1000 / count);
  std::printf("  SQLite, one transaction for all         %9.1f ms  %7.1f us per value\n",
              direct, direct * 1000 / count);
  std::printf("  ratio                                   %9.1f x\n", services / direct);
  std::printf("  RegFlushKey after them                  %9.1f ms\n", flush);
  return 0;
}
