// The file seam over POSIX.
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <new>

#include "platform/file_io.h"

struct SystemFile {
  int fd;
};

namespace {

SystemFile* wrap(int fd) {
  if (fd < 0) return nullptr;
  SystemFile* file = new (std::nothrow) SystemFile{fd};
  if (!file) ::close(fd);
  return file;
}

SystemFile* openRead(const char* path) {
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is
  // refused below like every other file that is not a regular one.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return wrap(fd);
}

SystemFile* create(const char* path) {
  return wrap(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
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
  delete file;
  return closed;
}

bool sameFile(const char* pathA, const char* pathB) {
  struct stat a, b;
  if (::stat(pathA, &a) != 0 || ::stat(pathB, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The views alive, at most a few; a fault elsewhere is no business of ours.
struct View {
  const uint8_t* start;
  size_t length;
};
View views[4];
sigjmp_buf* activeGuard = nullptr;
const void* volatile faultAddress = nullptr;

bool inView(const void* address) {
  const auto* p = static_cast<const uint8_t*>(address);
  for (const View& v : views) {
    if (v.start && p >= v.start && p < v.start + v.length) return true;
  }
  return false;
}

void onFault(int signal, siginfo_t* info, void*) {
  if (activeGuard && inView(info->si_addr)) {
    faultAddress = info->si_addr;
    siglongjmp(*activeGuard, 1);
  }
  // Not a view's: the access repeats and takes the default action.
  ::signal(signal, SIG_DFL);
}

const uint8_t* map(SystemFile* file, int64_t offset, size_t length) {
  static const bool handled = [] {
    struct sigaction action {};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    // A file cut under the view raises SIGBUS; a view made unreadable (as the
    // tests do to stand for a failing disk) raises SIGSEGV.
    return ::sigaction(SIGBUS, &action, nullptr) == 0 &&
           ::sigaction(SIGSEGV, &action, nullptr) == 0;
  }();
  View* slot =
      std::find_if(std::begin(views), std::end(views), [](const View& v) { return !v.start; });
  if (!handled || slot == std::end(views)) return nullptr;
  void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, file->fd, offset);
  if (view == MAP_FAILED) return nullptr;
  ::madvise(view, length, MADV_SEQUENTIAL);
  *slot = {static_cast<const uint8_t*>(view), length};
  return slot->start;
}

void unmap(const uint8_t* view, size_t length) {
  for (View& v : views) {
    if (v.start == view) v = View{};
  }
  ::munmap(const_cast<uint8_t*>(view), length);
}

const void* guard(void (*work)(void*), void* context) {
  sigjmp_buf here;
  if (sigsetjmp(here, 1) != 0) {
    activeGuard = nullptr;
    return faultAddress;
  }
  activeGuard = &here;
  work(context);
  activeGuard = nullptr;
  return nullptr;
}

}  // namespace

const FileOps kSystemFileOps = {openRead, create,   readSome, writeSome, seek, size,
                                close,    sameFile, map,      unmap,     guard};

void prepareProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      // open() takes the lowest free descriptor, which is fd.
      if (::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0) break;
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}
