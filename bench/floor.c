/* bench-floor: the least any installer has to do with a package's files. Inflates the raw
 * deflate blobs named by an index from the package file through 16 KiB buffers, checks
 * each CRC-32 and writes each file (open, write, close; no fsync), making the folders on
 * the way. What an install costs beyond this is the installer's own.
 *   bench-floor PACKAGE INDEX OUT_DIR
 * INDEX has one line per file: "OFFSET LENGTH CRC RELATIVE/PATH", decimal numbers. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#define BUFFER_SIZE 16384

static unsigned char in[BUFFER_SIZE], out[BUFFER_SIZE];

static void die(const char *what, const char *name) {
  fprintf(stderr, "bench-floor: %s %s: %s\n", what, name, strerror(errno));
  exit(1);
}

/* mkdir -p of the folder part of `path`, skipped when it is the folder made last. */
static void make_parents(char *path) {
  static char last[4096];
  char *slash = strrchr(path, '/');
  if (!slash) return;
  *slash = 0;
  if (strcmp(path, last) != 0) {
    for (char *p = path + 1;; ++p) {
      if (*p != '/' && *p != 0) continue;
      char kept = *p;
      *p = 0;
      if (mkdir(path, 0755) != 0 && errno != EEXIST) die("cannot make", path);
      *p = kept;
      if (!kept) break;
    }
    snprintf(last, sizeof last, "%s", path);
  }
  *slash = '/';
}

static void write_all(int fd, const unsigned char *bytes, size_t size, const char *name) {
  while (size > 0) {
    ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) die("cannot write", name);
    bytes += n;
    size -= (size_t)n;
  }
}

static void extract(int package, z_stream *stream, unsigned long offset, unsigned long length,
                    unsigned long expected_crc, char *path) {
  make_parents(path);
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) die("cannot create", path);
  if (inflateReset(stream) != Z_OK) die("inflate", path);
  unsigned long crc = crc32(0L, Z_NULL, 0);
  int result = length == 0 ? Z_STREAM_END : Z_OK;  /* an empty file has no blob */
  while (result != Z_STREAM_END) {
    if (stream->avail_in == 0 && length > 0) {
      size_t want = length < BUFFER_SIZE ? length : BUFFER_SIZE;
      ssize_t got = pread(package, in, want, (off_t)offset);
      if (got <= 0) {
        errno = got < 0 ? errno : EIO;
        die("cannot read the blob of", path);
      }
      offset += (unsigned long)got;
      length -= (unsigned long)got;
      stream->next_in = in;
      stream->avail_in = (uInt)got;
    }
    stream->next_out = out;
    stream->avail_out = BUFFER_SIZE;
    result = inflate(stream, Z_NO_FLUSH);
    if (result == Z_BUF_ERROR && length == 0) result = Z_DATA_ERROR;  /* the blob ended early */
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      errno = EINVAL;
      die("corrupt blob for", path);
    }
    size_t filled = BUFFER_SIZE - stream->avail_out;
    crc = crc32(crc, out, (uInt)filled);
    write_all(fd, out, filled, path);
  }
  if (close(fd) != 0) die("cannot close", path);
  if (crc != expected_crc) {
    errno = EINVAL;
    die("CRC mismatch for", path);
  }
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: bench-floor PACKAGE INDEX OUT_DIR\n");
    return 2;
  }
  int package = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (package < 0) die("cannot open", argv[1]);
  FILE *index = fopen(argv[2], "r");
  if (!index) die("cannot open", argv[2]);
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -15) != Z_OK) die("inflate", "init");
  unsigned long offset, length, crc;
  char relative[2048], path[4096];
  while (fscanf(index, "%lu %lu %lu %2047[^\n]", &offset, &length, &crc, relative) == 4) {
    snprintf(path, sizeof path, "%s/%s", argv[3], relative);
    extract(package, &stream, offset, length, crc, path);
  }
  inflateEnd(&stream);
  fclose(index);
  close(package);
  return 0;
}
