// A read or a write that a signal interrupts is made again. Local files and
// pipes never give EINTR under SA_RESTART, as the programs install their
// handlers, but network and FUSE file systems can; a handler without it
// stands in here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "test_support.h"

using namespace testsupport;

namespace {

std::atomic<int> handled{0};

// A read of an empty pipe and a write to a full one wait until the test
// gives them what they need, once the signal has come.
TEST(PlatformFiles, InterruptedCallsAreMadeAgain) {
  if (kEmulated) GTEST_SKIP() << "/proc shows the emulator's calls";
  struct sigaction action {
  }, before;
  action.sa_handler = [](int) { ++handled; };
  sigaction(SIGUSR1, &action, &before);
  for (const bool writing : {false, true}) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, writing ? O_NONBLOCK : 0), 0);
    while (writing && write(ends[1], Bytes(4096, 'x').data(), 4096) > 0) {
    }
    fcntl(ends[1], F_SETFL, 0);
    const int fd = ends[writing ? 1 : 0];
    std::atomic<long> caller{0};
    std::atomic<bool> done{false};
    long moved = 0;
    std::thread call([&] {
      caller = syscall(SYS_gettid);
      char byte = 'y';
      moved = writing ? kPlatformOps.writeSome(fd, &byte, 1) : kPlatformOps.readSome(fd, &byte, 1);
      done = true;
    });
    auto waiting = [&] { return caller && waitsIn(caller, writing ? SYS_write : SYS_read, fd); };
    while (!waiting()) sched_yield();
    const int signalled = handled;
    pthread_kill(call.native_handle(), SIGUSR1);
    // Made again, the call waits as before; given up, it has returned.
    while (handled == signalled || !(done || waiting())) sched_yield();
    char room[1 << 16];
    EXPECT_GT(writing ? read(ends[0], room, sizeof room) : write(ends[1], "z", 1), 0);
    call.join();
    EXPECT_EQ(moved, 1) << (writing ? "write" : "read");
    close(ends[0]);
    close(ends[1]);
  }
  sigaction(SIGUSR1, &before, nullptr);
}

}  // namespace
