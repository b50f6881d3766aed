// Stand-ins for the system calls of the platform layer, linked into the test
// program sarvik_faulty with --wrap. Environment variables choose the fault:
//   SARVIK_FAIL_READ_AT=N   reads fail with EIO once N bytes have been read
//   SARVIK_WRITE_CHUNK=N    each write accepts at most N bytes
//   SARVIK_FAIL_WRITE_AT=N  writes fail with ENOSPC once N bytes were accepted
//   SARVIK_WRITE_NO_PROGRESS=1  writes accept nothing and return 0
//   SARVIK_FAIL_CLOSE=1     closing the output reports EIO
//   SARVIK_FAIL_SEEK_TO=N   an absolute seek to offset N fails with EIO
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>

extern "C" {
ssize_t __real_read(int fd, void* buffer, size_t n);
ssize_t __real_write(int fd, const void* buffer, size_t n);
int __real_open(const char* path, int flags, ...);
int __real_close(int fd);
off_t __real_lseek(int fd, off_t offset, int whence);
}

namespace {

long long setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::atoll(value) : -1;
}

long long bytesRead = 0;
long long bytesAccepted = 0;
int outputFd = -1;

}  // namespace

extern "C" ssize_t __wrap_read(int fd, void* buffer, size_t n) {
  const long long limit = setting("SARVIK_FAIL_READ_AT");
  if (limit >= 0) {
    if (bytesRead >= limit) {
      errno = EIO;
      return -1;
    }
    n = std::min<size_t>(n, size_t(limit - bytesRead));
  }
  ssize_t got = __real_read(fd, buffer, n);
  if (got > 0) bytesRead += got;
  return got;
}

extern "C" ssize_t __wrap_write(int fd, const void* buffer, size_t n) {
  if (setting("SARVIK_WRITE_NO_PROGRESS") == 1) return 0;
  const long long chunk = setting("SARVIK_WRITE_CHUNK");
  if (chunk > 0) n = std::min<size_t>(n, size_t(chunk));
  const long long limit = setting("SARVIK_FAIL_WRITE_AT");
  if (limit >= 0) {
    if (bytesAccepted >= limit) {
      errno = ENOSPC;
      return -1;
    }
    n = std::min<size_t>(n, size_t(limit - bytesAccepted));
  }
  ssize_t done = __real_write(fd, buffer, n);
  if (done > 0) bytesAccepted += done;
  return done;
}

extern "C" int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  int fd = __real_open(path, flags, mode);
  if (flags & O_WRONLY) outputFd = fd;
  return fd;
}

extern "C" int __wrap_close(int fd) {
  int result = __real_close(fd);
  if (fd == outputFd && setting("SARVIK_FAIL_CLOSE") == 1) {
    errno = EIO;
    return -1;
  }
  return result;
}

extern "C" off_t __wrap_lseek(int fd, off_t offset, int whence) {
  if (whence == SEEK_SET && offset == setting("SARVIK_FAIL_SEEK_TO")) {
    errno = EIO;
    return -1;
  }
  return __real_lseek(fd, offset, whence);
}
