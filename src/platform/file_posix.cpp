// The file seam over POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_io.h"
#include "platform/memory.h"

struct SystemFile {
  int fd;
};

namespace {

// The handle is had before the file is opened: a file created and then
// given up for want of memory would have been truncated.
SystemFile* newHandle() { return static_cast<SystemFile*>(memoryAllocate(sizeof(SystemFile))); }

SystemFile* wrap(SystemFile* file, int fd) {
  if (fd >= 0) {
    file->fd = fd;
    return file;
  }
  memoryRelease(file);
  return nullptr;
}

SystemFile* openRead(const char* path) {
  SystemFile* file = newHandle();
  if (!file) return nullptr;
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is
  // refused below like every other file that is not a regular one.
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)) {
    ::close(fd);
    fd = -1;
  }
  if (fd >= 0) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return wrap(file, fd);
}

SystemFile* create(const char* path) {
  SystemFile* file = newHandle();
  return file ? wrap(file, ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) : nullptr;
}

long result(ssize_t n) { return n < 0 && errno == EINTR ? kInterrupted : static_cast<long>(n); }

long readSome(SystemFile* file, void* buffer, uint32_t n) {
  return result(::read(file->fd, buffer, n));
}

long writeSome(SystemFile* file, const void* data, uint32_t n) {
  return result(::write(file->fd, data, n));
}

int64_t seek(SystemFile* file, int64_t offset) { return ::lseek(file->fd, offset, SEEK_SET); }

int64_t size(SystemFile* file) {
  struct stat st;
  return ::fstat(file->fd, &st) == 0 ? st.st_size : -1;
}

bool close(SystemFile* file) {
  const bool closed = ::close(file->fd) == 0;
  memoryRelease(file);
  return closed;
}

bool sameFile(const char* pathA, const char* pathB) {
  struct stat a, b;
  if (::stat(pathA, &a) != 0 || ::stat(pathB, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

const FileOps kSystemFileOps = {openRead, create, readSome, writeSome, seek, size, close, sameFile};
