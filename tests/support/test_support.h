// Helpers shared by the tests: RIFF/WAVE and burst builders, Shift_JIS
// conversion of expected texts, files, and running the built programs. The
// parts that differ by platform are in system_posix.cpp and system_win32.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace testsupport {

// Whether the programs run under an emulator (qemu-user): slower, and with
// limits of its own.
#ifdef SARVIK_EMULATED
constexpr bool kEmulated = true;
#else
constexpr bool kEmulated = false;
#endif

// Bytes as they stand in a file.
using Bytes = std::string;

Bytes le16(uint16_t v);
Bytes le32(uint32_t v);
// One chunk: id, size (the body's size unless given), body, pad byte if odd.
Bytes chunk(const char* id, const Bytes& body);
Bytes chunkSized(const char* id, uint32_t size, const Bytes& body);
// A 16-byte "fmt " chunk body.
Bytes fmtBody(uint16_t tag, uint16_t channels, uint16_t bits);
// "RIFF" <size> "WAVE" + children; size derived unless given.
Bytes riffWave(const Bytes& children);
// A whole 2-channel 16-bit PCM file with the given data bytes.
Bytes pcmWav(const Bytes& data);
// The 44 bytes before the data of such a file with its sizes unknown, as a
// streaming recorder leaves them (0xFFFFFFFF).
Bytes streamingHeader();
// A burst: eight zero bytes, Pa, Pb, Pc, Pd, then the payload (already in
// file order, padded to even length by the caller when needed).
Bytes burst(uint16_t pc, uint16_t pd, const Bytes& payload);
// The payload of length `length` as it is written: big-endian words, odd
// length dropping the final word's low byte.
Bytes swapped(const Bytes& filePayload, size_t length);
// Deterministic pseudo-random bytes.
Bytes noise(size_t n, uint32_t seed);

// An AC-3 burst (Pc 0x0001) whose length code is the payload's size in bits.
Bytes ac3Burst(const Bytes& payload);
// count AC-3 bursts of payload bytes each, of noise seeded by their index,
// one every period bytes (zeros between); their payloads as the output holds
// them are appended to *written, where given.
Bytes ac3Stream(uint32_t count, size_t payload, size_t period, Bytes* written = nullptr);
// A frame of length bytes that opens with header (4 bytes of MPEG audio,
// an ADTS header when none), as a burst's payload stores it: 16-bit
// little-endian words, an odd frame followed by a stuffing byte.
Bytes frame(size_t length, Bytes header = "");
// MPEG audio's header: version (3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5), layer (1 to
// 3), bitrate and rate index, padding.
Bytes mpeg(int version, int layer, int bitrate, int rate, int padding);
// 8 MiB of data for the progress line, with reports before, between and
// after the lines it draws: AC-3 bursts at 1 MiB, a pause at 3 MiB (its
// report flushes the writes), AC-3 bursts at 5 MiB.
Bytes progressData();

// The UTF-8 text converted to Shift_JIS (CP932).
std::string sjis(const std::string& utf8);
#ifndef _WIN32
// The UTF-8 text in the character set that iconv calls charset.
std::string encoded(const char* charset, const std::string& utf8);
// True while the process or thread id waits in the system call numbered
// call, on descriptor fd.
bool waitsIn(long id, long call, int fd);
#endif
// A name as the programs write it to a file or a pipe (the usage's program
// name): in the ANSI code page on Windows, as it is elsewhere.
std::string ansi(const std::string& utf8);
// The failure messages the tests look for, in Shift_JIS.
extern const std::string kInputNotOpened, kOutputNotCreated, kReadError, kWriteError, kOutOfMemory;
// The expected report lines, in Shift_JIS: a header found, the data type
// (AC-3's among them), the truncation line and the summary.
std::string found(long long n, long long offset);
std::string dataType(const std::string& label);
extern const std::string kAc3Type, kTruncated;
std::string summary(long long frames, long long bytes);

// Puts a test's own system operations in place while it lives; those in
// force before come back on every path out of the test.
class UsingSystemOps {
 public:
  explicit UsingSystemOps(const SystemOps& ops) : before_(systemOps()) { setSystemOps(ops); }
  ~UsingSystemOps() { setSystemOps(before_); }
  UsingSystemOps(const UsingSystemOps&) = delete;
  UsingSystemOps& operator=(const UsingSystemOps&) = delete;

 private:
  const SystemOps& before_;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A path of the tests' (UTF-8; on Windows WTF-8, the programs' own form,
// which also carries a lone surrogate) as std::filesystem takes it.
std::filesystem::path fsPath(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);
bool exists(const std::string& path);
// A file of size bytes that holds the given pieces at their offsets and
// zeros elsewhere, stored sparse.
void writeSparse(const std::string& path, long long size,
                 const std::vector<std::pair<long long, Bytes>>& pieces);

struct Outcome {
  int status = -1;  // exit status, or -1 when not exited normally
  int signal = 0;   // POSIX: the signal that ended it
  // The standard streams. Where text streams end lines with CR LF, every line
  // must end so, and the pair is given here as LF: one expected text serves
  // every platform.
  std::string out;
  std::string err;
  long maxRssKiB = 0;  // 0 where the platform does not tell
};
struct RunOptions {
  std::vector<std::string> env;  // NAME=value, in place of the inherited NAME
  int uid = -1;                  // POSIX, the caller being root: run as this user and group
  bool errToOut = false;         // standard error into the same file as standard output
  int timeoutSeconds = 120;      // then the program is killed: a hang fails, not the suite
  // This standard stream (1 or 2) is a terminal; with errToOut, both
  // streams are. POSIX: a pseudo-terminal that passes the bytes as they are
  // written, which come back in out or err. Windows: this process's console,
  // cleared first, whose screen comes back there (screenText).
  int terminal = 0;
  int columns = 0;  // POSIX: the terminal's width; 0: unknown
  // POSIX, with terminal: the terminal's output is held (Ctrl+S) until the
  // program waits in a write to it; then it is sent this signal, and the
  // output goes on (Ctrl+Q).
  int signalInWrite = 0;
  // POSIX, with terminal: the same, but the terminal is narrowed to this
  // width instead of the signal: it changes between two writes.
  int columnsInWrite = 0;
};
// The environment inherited, each NAME=value of added in place of NAME's.
std::vector<std::string> environmentWith(const std::vector<std::string>& inherited,
                                         const std::vector<std::string>& added);
#ifdef _WIN32
// The rows of the console's screen up to the cursor's, in Shift_JIS, each
// without its trailing spaces, joined by line feeds: a text that ends with a
// line feed has the cursor at the start of the row after it.
std::string screenText(void* console);
#endif
// Runs program with args (argv[0] is the program). Paths and arguments are
// UTF-8, on Windows WTF-8.
Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunOptions& options = {});

// Runs program on the input, into the output: its two arguments.
Outcome runOn(const std::string& program, const std::string& input, const std::string& output,
              const RunOptions& options = {});
// Standard error of a run that failed (status 1); of any other, a text that
// says how it ended, which no message equals.
std::string failure(const Outcome& run);

// A copy of the program at path, which every user may run.
void copyProgram(const std::string& program, const std::string& path);

struct Extraction {
  Outcome run;
  Bytes output;  // the output file: "old" where the run left it alone
};
// Runs program on the WAV bytes, written to a fresh input file, into an
// output file that holds "old" before the run, with env in the environment.
Extraction extract(const std::string& program, const Bytes& wav,
                   const std::vector<std::string>& env = {}, RunOptions options = {});

}  // namespace testsupport
