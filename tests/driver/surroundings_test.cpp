// The programs in the surroundings a user gives them on POSIX, set up by
// bash as a user would: closed standard descriptors, pipes whose reader
// quits, resource limits. A clear message or a complete run, never a hang, a
// silent death or a destroyed file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

using namespace testsupport;

namespace {

// Pause and AC-3 burst pairs: every AC-3 header is reported again, so the
// report runs far past 4 KiB, and the output is 1,536,000 bytes.
struct Capture {
  Bytes wav;
  Bytes output;
  std::string report;
};
const Capture& many() {
  static Capture c;
  if (!c.wav.empty()) return c;
  Bytes data;
  for (uint32_t i = 0; i < 1000; ++i) {
    const Bytes payload = noise(1536, i);
    data += burst(0x0003, 0, "") + burst(0x0001, 0x3000, payload);
    c.output += swapped(payload, 1536);
  }
  c.wav = pcmWav(data);
  return c;
}

// Runs the bash command with $0 the program, $1 the input and $2 the output.
Outcome shell(const std::string& command, const std::string& program, const TempDir& dir,
              const RunOptions& options = {}) {
  return runProgram("/bin/bash", {"/bin/bash", "-c", command, program, dir / "in.wav", dir / "o"},
                    options);
}

TEST(Surroundings, ClosedStandardDescriptorsNeverTakeTheFiles) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  for (const char* closing : {"<&- >&-", "<&- >&- 2>&-", ">&-"}) {
    Outcome run = shell(std::string("\"$0\" \"$1\" \"$2\" ") + closing, SARVIK, dir);
    EXPECT_EQ(run.status, 0) << closing;
    EXPECT_EQ(readFile(dir / "o"), c.output) << closing;
  }
}

TEST(Surroundings, AReportReaderThatQuitsLeavesTheOutputComplete) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  for (const char* program : {SARVIK, SARVIKD}) {
    for (const char* reader : {"head -n 2", "head -c 1"}) {
      Outcome run = shell(
          std::string("\"$0\" \"$1\" \"$2\" | ") + reader + " >/dev/null; exit ${PIPESTATUS[0]}",
          program, dir);
      EXPECT_EQ(run.status, 0) << program << " | " << reader;
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(readFile(dir / "o"), c.output) << program << " | " << reader;
    }
  }
}

TEST(Surroundings, AnOutputPipeThatClosesIsAWriteError) {
  const TempDir dir;
  writeFile(dir / "in.wav", many().wav);
  Outcome run = shell("\"$0\" \"$1\" >(head -c 100 >/dev/null)", SARVIK, dir);
  EXPECT_EQ(failure(run), kWriteError);
}

TEST(Surroundings, AFileSizeLimitIsAWriteErrorAndKeepsWhatFitted) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  Outcome run = shell("ulimit -f 1024; \"$0\" \"$1\" \"$2\"", SARVIK, dir);
  EXPECT_EQ(failure(run), kWriteError);
  EXPECT_EQ(readFile(dir / "o"), c.output.substr(0, 1 << 20));
}

// Under any memory limit, a run completes or ends with the memory message
// and an existing output left as it was; it never aborts. Below some limit
// the system cannot even load the program. The runs that complete form one
// range up to the top: nothing a run needs is taken only when a larger
// limit lets it (the locale's data, with no terminal).
TEST(Surroundings, LittleMemoryOrStack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under ulimit -v";
#endif
  if (kEmulated) GTEST_SKIP() << "the emulator's own memory does not fit under ulimit -v";
  const Bytes p1 = noise(1536, 1), p2 = noise(1536, 2);
  const Bytes expected = swapped(p1, 1536) + swapped(p2, 1536);
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(burst(1, 0x3000, p1) + burst(1, 0x3000, p2)));
  int completed = 0, refused = 0;
  for (long kib = 2000; kib <= 20000; kib += 250) {
    writeFile(dir / "o", "old\n");
    const Outcome run = shell(
        "ulimit -v " + std::to_string(kib) + "; LC_ALL=C.UTF-8 \"$0\" \"$1\" \"$2\"", SARVIK, dir);
    if (run.status == 127) continue;  // not loaded
    if (run.status == 0) {
      ++completed;
      EXPECT_EQ(readFile(dir / "o"), expected) << kib << " KiB";
      continue;
    }
    EXPECT_EQ(completed, 0) << kib << " KiB: refused after a smaller limit completed";
    ++refused;
    EXPECT_EQ(failure(run), kOutOfMemory) << kib << " KiB";
    EXPECT_EQ(readFile(dir / "o"), "old\n") << kib << " KiB";
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(completed, 0);
  // The work buffer is on the heap: a small stack is enough.
  Outcome smallStack = shell("ulimit -s 256; \"$0\" \"$1\" \"$2\"", SARVIK, dir);
  EXPECT_EQ(smallStack.status, 0);
  EXPECT_EQ(readFile(dir / "o"), expected);
}

// A hangup ignored when the program starts (nohup) stays ignored, also
// after an interrupt has come.
TEST(Surroundings, AnIgnoredHangupStaysIgnored) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  // A hangup and two go unnoticed. After an interrupt, a hangup does not end
  // the run at once: the interrupt does, before the output is created, which
  // the runs before have left complete.
  for (const auto& [signals, endedBy] : {std::pair{"1", 0}, {"1,1", 0}, {"2,1", SIGINT}}) {
    const std::string sent = std::string("SARVIK_SIGNAL_AT=100,100 SARVIK_SIGNAL=") + signals;
    Outcome run = shell("trap '' HUP; " + sent + " exec \"$0\" \"$1\" \"$2\"", SARVIK_FAULTY, dir);
    EXPECT_EQ(run.signal, endedBy) << signals;
    EXPECT_EQ(readFile(dir / "o"), c.output) << signals;
  }
}

// The output is created with mode 0666 less the umask.
TEST(Surroundings, TheOutputsModeIsTheUmasks) {
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(Bytes(64, '\0')));
  for (const auto& [umask, mode] : {std::pair{"027", 0640}, {"0", 0666}, {"077", 0600}}) {
    unlink((dir / "o").c_str());
    EXPECT_EQ(shell(std::string("umask ") + umask + "; \"$0\" \"$1\" \"$2\"", SARVIK, dir).status,
              0);
    struct stat st;
    ASSERT_EQ(stat((dir / "o").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, mode) << umask;
  }
}

// With no thread to spare (ulimit -u, as a user other than root, who is
// exempt), each full buffer is written as it fills: the same output, and the
// same write error.
TEST(Surroundings, NoThreadToSpareWritesInTurn) {
  if (kEmulated) GTEST_SKIP() << "the emulator starts a thread of its own";
  const Capture& c = many();
  const TempDir dir;
  chmod(dir.path().c_str(), 0777);
  const std::string program = dir / "sarvik";
  copyProgram(SARVIK, program);
  writeFile(dir / "in.wav", c.wav);
  RunOptions asUser;
  asUser.uid = geteuid() == 0 ? 65534 : -1;
  // LeakSanitizer's check at the exit would need a thread of its own.
  const std::string noThread =
      "export ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\"; ulimit -u 1 && ";
  Outcome run = shell(noThread + "exec \"$0\" \"$1\" \"$2\"", program, dir, asUser);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readFile(dir / "o"), c.output);
  Outcome limited =
      shell(noThread + "ulimit -f 1024 && exec \"$0\" \"$1\" \"$2\"", program, dir, asUser);
  EXPECT_EQ(failure(limited), kWriteError);
  EXPECT_EQ(readFile(dir / "o"), c.output.substr(0, 1 << 20));
}

}  // namespace
