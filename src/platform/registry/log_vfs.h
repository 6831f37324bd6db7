// How the registry reaches its files: SQLite's own default way, except for the write-ahead
// log. SQLite writes each page to the log as two writes (the frame's 24-byte header, then the
// page) and reads it back a page at a time, all of it when it rebuilds the log's index; at
// 1 KiB pages that is most of the registry's system calls. Here a transaction's frames are
// gathered and written in one call when its commit frame is written, and from the second
// read on (the first may be all there is) the log is read in 64 KiB blocks.
//
// Nothing of it can be seen from outside: no other connection reads a frame before the commit
// that holds it is in the log's index, which is written after the commit frame; a failed
// write fails the commit's own write call, as it would without the gathering; a process
// killed with frames still gathered dies with a transaction it never committed. A block is
// only used while the connection's shared-memory locks stay as they were when it was read
// and the connection has not written since: meanwhile no other connection may rewrite the
// frames this one can read.
#pragma once

namespace coredll {

// The name to pass to sqlite3_open_v2; registered with SQLite on the first call.
const char* RegistryVfs();

}  // namespace coredll
