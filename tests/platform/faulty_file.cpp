// The system's operations failing on request: the table that the test
// programs sarvik_faulty and sarvikd_faulty run over. Environment variables
// choose the faults:
//   SARVIK_READ_CHUNK=N       each read of the input delivers at most N bytes
//   SARVIK_ENDS_AT=N,M,...    the input seems to end at each of these offsets
//                             once, as a capture still being recorded does: a
//                             read reaching one delivers the bytes before it,
//                             the next read nothing, and later reads go on
//   SARVIK_FAIL_READ_AT=N     a read of the input that reaches file offset N
//                             delivers the bytes before N, and then fails
//   SARVIK_FAIL_SEEK_TO=N     a seek of the input to offset N fails
//   SARVIK_WRITE_CHUNK=N      each write accepts at most N bytes
//   SARVIK_FAIL_WRITE_AT=N    writes fail once N bytes were accepted
//   SARVIK_WRITE_NO_PROGRESS=1  writes accept nothing
//   SARVIK_FAIL_CLOSE=1       closing the output fails
//   SARVIK_SIGNAL_AT=N,M,...  a read of the input that reaches file offset N,
//                             or finds the end of the file, interrupts the
//                             run, once for each offset listed: with the
//                             signal in the same place of SARVIK_SIGNAL=S,T,...
//                             (its last for those after; SIGINT where it is
//                             not set), on Windows with the console event
//                             (0 Ctrl+C, 1 Ctrl+Break, 2 a closed console),
//                             handled as the system hands it over, or with
//                             9: the process is killed, as SIGKILL does
//   SARVIK_FAIL_ALLOCATION=N  the program's N-th block (from 1) cannot be had
// and the clock:
//   SARVIK_CLOCK_STEP=N       the clock starts at 0 and moves on N ms at each
//                             reading, so that a run "lasts" without waiting
#include <signal.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/process.h"
#include "platform/system.h"

namespace {

long long setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::atoll(value) : -1;
}

std::vector<long long> list(const char* name) {
  std::vector<long long> values;
  for (const char* at = std::getenv(name); at && *at; at += *at == ',') {
    char* end;
    values.push_back(std::strtoll(at, &end, 10));
    at = end;
  }
  return values;
}

// Read once: a read of one byte at a time makes many calls.
struct Settings {
  long long readChunk = setting("SARVIK_READ_CHUNK");
  std::vector<long long> endsAt = list("SARVIK_ENDS_AT");
  long long failReadAt = setting("SARVIK_FAIL_READ_AT");
  long long failSeekTo = setting("SARVIK_FAIL_SEEK_TO");
  long long writeChunk = setting("SARVIK_WRITE_CHUNK");
  long long failWriteAt = setting("SARVIK_FAIL_WRITE_AT");
  long long writeNoProgress = setting("SARVIK_WRITE_NO_PROGRESS");
  long long failClose = setting("SARVIK_FAIL_CLOSE");
  std::vector<long long> signalAt = list("SARVIK_SIGNAL_AT");
  std::vector<long long> signals = list("SARVIK_SIGNAL");
  long long failAllocation = setting("SARVIK_FAIL_ALLOCATION");
  long long clockStep = setting("SARVIK_CLOCK_STEP");
};
const Settings& settings() {
  static const Settings s;
  return s;
}

const SystemOps& system = kPlatformOps;
FileHandle input = kNoFile;
FileHandle output = kNoFile;
long long inputPos = 0;
long long accepted = 0;
size_t endsPassed = 0;   // of SARVIK_ENDS_AT
size_t signalsSent = 0;  // of SARVIK_SIGNAL_AT
long long allocations = 0;
bool atTheEndForNow = false;  // the next read delivers nothing

FileHandle openRead(const char* path) {
  inputPos = 0;
  return input = system.openRead(path);
}

FileHandle create(const char* path) { return output = system.create(path); }

// n cut to at most chunk bytes and to what lies before failAt, done bytes
// having moved: -1 once done has reached failAt. Settings below 0 are unset.
long long limited(uint32_t n, long long chunk, long long failAt, long long done) {
  long long allowed = chunk > 0 ? std::min<long long>(n, chunk) : n;
  if (failAt < 0) return allowed;
  return done >= failAt ? -1 : std::min(allowed, failAt - done);
}

#ifdef _WIN32
// A console event as the system hands it over: to the handler, in a thread
// of its own; once the handler returns for a closed console, the system
// ends the process.
DWORD WINAPI handOver(void* event) {
  const DWORD e = DWORD(uintptr_t(event));
  consoleHandler(e);
  if (e == CTRL_CLOSE_EVENT) TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return 0;
}

// The read goes on once the handler has noted the event, which only
// interruptCame() tells (for a closed console the handler does not return);
// after an earlier one, once the handler has returned: a second one ends the
// process before.
void consoleEvent(DWORD event) {
  const bool before = interruptCame();
  HANDLE thread =
      CreateThread(nullptr, 0, handOver, reinterpret_cast<void*>(uintptr_t(event)), 0, nullptr);
  if (!thread) TerminateProcess(GetCurrentProcess(), 1);
  if (before) WaitForSingleObject(thread, INFINITE);
  while (!interruptCame()) SwitchToThread();
  CloseHandle(thread);
}
#endif

long readSome(FileHandle file, void* buffer, uint32_t n) {
  if (file != input) return system.readSome(file, buffer, n);
  if (atTheEndForNow) {
    atTheEndForNow = false;
    return 0;
  }
  long long allowed = limited(n, settings().readChunk, settings().failReadAt, inputPos);
  if (allowed < 0) return -1;
  const std::vector<long long>& ends = settings().endsAt;
  if (endsPassed < ends.size() && inputPos + allowed >= ends[endsPassed]) {
    allowed = ends[endsPassed++] - inputPos;
    atTheEndForNow = true;
  }
  const long got = system.readSome(file, buffer, uint32_t(allowed));
  if (got > 0) inputPos += got;
  for (const std::vector<long long>& at = settings().signalAt;
       signalsSent < at.size() && (got == 0 || inputPos >= at[signalsSent]); ++signalsSent) {
    const std::vector<long long>& signals = settings().signals;
    const int sent = signals.empty() ? -1 : int(signals[std::min(signalsSent, signals.size() - 1)]);
#ifdef _WIN32
    if (sent == 9) TerminateProcess(GetCurrentProcess(), 9);
    consoleEvent(sent < 0 ? 0 : DWORD(sent));
#else
    ::raise(sent < 0 ? SIGINT : sent);
#endif
  }
  return got;
}

long writeSome(FileHandle file, const void* data, uint32_t n) {
  if (file != output) return system.writeSome(file, data, n);
  if (settings().writeNoProgress == 1) return 0;
  const long long allowed = limited(n, settings().writeChunk, settings().failWriteAt, accepted);
  if (allowed < 0) return -1;
  const long done = system.writeSome(file, data, uint32_t(allowed));
  if (done > 0) accepted += done;
  return done;
}

int64_t seek(FileHandle file, int64_t offset) {
  if (file == input && offset == settings().failSeekTo) return -1;
  const int64_t at = system.seek(file, offset);
  if (file == input && at >= 0) inputPos = at;
  return at;
}

int64_t size(FileHandle file) { return system.size(file); }

bool sameFile(const char* pathA, const char* pathB) { return system.sameFile(pathA, pathB); }

bool close(FileHandle file) {
  const bool closed = system.close(file);
  if (file == output && settings().failClose == 1) return false;
  return closed;
}

void* allocate(size_t n) {
  return ++allocations == settings().failAllocation ? nullptr : system.allocate(n);
}

int64_t steppedClock() {
  static int64_t now = 0;
  return settings().clockStep < 0 ? system.clock() : now += settings().clockStep;
}

const SystemOps kFaultyOps = {openRead, create, readSome, writeSome, seek,
                              size,     close,  sameFile, allocate,  steppedClock};

}  // namespace

const SystemOps& kProgramOps = kFaultyOps;
