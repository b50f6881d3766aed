#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/output_file.h"

namespace {
constexpr uint32_t kBufferSize = 1 << 20;
}

struct OutputFile {
  int fd;
  uint32_t used;
  uint8_t buffer[kBufferSize];
};

namespace {

// Writes all n bytes, continuing after partial writes.
bool writeAll(int fd, const uint8_t* data, uint32_t n) {
  while (n > 0) {
    ssize_t done = ::write(fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    n -= static_cast<uint32_t>(done);
  }
  return true;
}

}  // namespace

OutputFile* outputCreate(const char* path) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  auto* output = new (std::nothrow) OutputFile;
  if (!output) {
    ::close(fd);
    return nullptr;
  }
  output->fd = fd;
  output->used = 0;
  return output;
}

bool outputFlush(OutputFile* output) {
  bool written = writeAll(output->fd, output->buffer, output->used);
  // After a failure the rest cannot be written either; it is not tried again.
  output->used = 0;
  return written;
}

bool outputWrite(OutputFile* output, const void* data, uint32_t n) {
  if (n > kBufferSize - output->used) {
    if (!outputFlush(output)) return false;
    if (n > kBufferSize) return writeAll(output->fd, static_cast<const uint8_t*>(data), n);
  }
  std::memcpy(output->buffer + output->used, data, n);
  output->used += n;
  return true;
}

bool outputClose(OutputFile* output) {
  bool flushed = outputFlush(output);
  bool closed = ::close(output->fd) == 0;
  delete output;
  return flushed && closed;
}

bool namesSameFile(const char* pathA, const char* pathB) {
  struct stat a, b;
  if (::stat(pathA, &a) != 0 || ::stat(pathB, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
