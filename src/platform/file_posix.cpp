// The file seam over POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system.h"

namespace {

FileHandle openRead(const char* path) {
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is
  // refused below like every other file that is not a regular one.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)) {
    ::close(fd);
    return kNoFile;
  }
  if (fd >= 0) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

FileHandle create(const char* path) {
  return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

// A call that a signal interrupted before it moved a byte is made again:
// nothing above this file sees it.
template <class Call>
long retried(Call call) {
  ssize_t n;
  do n = call();
  while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long readSome(FileHandle file, void* buffer, uint32_t n) {
  return retried([&] { return ::read(static_cast<int>(file), buffer, n); });
}

long writeSome(FileHandle file, const void* data, uint32_t n) {
  return retried([&] { return ::write(static_cast<int>(file), data, n); });
}

int64_t seek(FileHandle file, int64_t offset) {
  return ::lseek(static_cast<int>(file), offset, SEEK_SET);
}

int64_t size(FileHandle file) {
  struct stat st;
  return ::fstat(static_cast<int>(file), &st) == 0 ? st.st_size : -1;
}

bool close(FileHandle file) { return ::close(static_cast<int>(file)) == 0; }

bool sameFile(const char* pathA, const char* pathB) {
  struct stat a, b;
  if (::stat(pathA, &a) != 0 || ::stat(pathB, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

const SystemOps kPlatformOps = {openRead, create, readSome, writeSome,   seek,
                                size,     close,  sameFile, zeroedBlock, steadyClock};
