// The process over POSIX.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

#include "platform/process.h"

namespace {

const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
// Which of them the handler takes: not those ignored at the start.
bool noted[std::size(kInterrupts)] = {};
// The signal that came, or 0. Lock-free, so that the handler may set it from
// any thread.
std::atomic<int> interrupt{0};
static_assert(std::atomic<int>::is_always_lock_free, "set in a signal handler");

void setAction(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // One handler at a time; a read or write it interrupts goes on.
  for (int other : kInterrupts) sigaddset(&action.sa_mask, other);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

void note(int signal) {
  interrupt = signal;
  for (size_t i = 0; i < std::size(kInterrupts); ++i) {
    if (noted[i]) setAction(kInterrupts[i], SIG_DFL);
  }
}

}  // namespace

void prepareProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      // open() takes the lowest free descriptor, which is fd.
      if (::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0) break;
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  for (size_t i = 0; i < std::size(kInterrupts); ++i) {
    struct sigaction before;
    noted[i] = sigaction(kInterrupts[i], nullptr, &before) == 0 && before.sa_handler != SIG_IGN;
    if (noted[i]) setAction(kInterrupts[i], note);
  }
}

bool interruptCame() { return interrupt != 0; }

void endByInterrupt() {
  const int signal = interrupt;
  setAction(signal, SIG_DFL);
  ::raise(signal);
  _exit(128 + signal);  // not reached: the signal's default action ends the process
}
