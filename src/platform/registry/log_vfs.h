// How the registry reaches its files: SQLite's own default way, except for the write-ahead
// log. SQLite writes each page to the log as two writes (the frame's 24-byte header, then the
// page) and, when it rebuilds the log's index, reads it back a frame at a time; at 1 KiB
// pages that is most of the registry's system calls. Here a transaction's frames are
// gathered and written in one call when its commit frame is written, and a log read from
// start to end is read in 64 KiB blocks.
//
// Nothing of it can be seen from outside: no other connection reads a frame before the commit
// that holds it is in the log's index, which is written after the commit frame; a failed
// write fails the commit's own write call, as it would without the gathering; a process
// killed with frames still gathered dies with a transaction it never committed. A block
// read is only served within one read of the log (no shared-memory lock taken or let go
// meanwhile, no write of this connection's), during which no other connection may rewrite
// what this one can read.
#pragma once

namespace coredll {

// The name to pass to sqlite3_open_v2; registered with SQLite on the first call.
const char* RegistryVfs();

}  // namespace coredll
