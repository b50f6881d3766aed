// Measures sarvik against the I/O floor, in the same run: for each generated
// input and each round, the times of
//   sarvik     the program, `sarvik in.wav out`;
//   tty        the same with standard error on a pseudo-terminal, where the
//              progress line is drawn (after a second) and the clock read;
//   floor      a plain sequential read of the input plus a plain write of the
//              same output size, 1 MiB at a time;
//   ffmpeg     its IEC 61937 demuxer, where ffmpeg is on the PATH;
//   baseline   another sarvik program, when one is given (an older build).
// Each figure is the median over the rounds of the ratio to sarvik's time in
// the same round, with the lowest and highest of the rounds below it; peak
// resident memory is sarvik's largest.
//
// usage: sarvik_bench [MiB per input, default 1024] [rounds, default 5] [dir]
//                     [inputs, default abcde] [baseline program]
#include <fcntl.h>
#include <malloc.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, uint16_t(v));
  put16(p + 2, uint16_t(v >> 16));
}

uint32_t rng = 2463534242u;
uint8_t nextByte() {
  rng ^= rng << 13;
  rng ^= rng >> 17;
  rng ^= rng << 5;
  return uint8_t(rng >> 24);
}

void putHeader(uint8_t* p, uint16_t pc, uint16_t pd) {
  std::memset(p, 0, 8);
  put16(p + 8, 0xF872);
  put16(p + 10, 0x4E1F);
  put16(p + 12, pc);
  put16(p + 14, pd);
}

// The AC-3 frames of the shipped sample, as sarvik extracts them.
constexpr size_t kFrameSize = 768;
std::vector<uint8_t> ac3Frames;

// Fills one 6,144-byte-aligned piece of the stream, by kind.
void fill(char kind, std::vector<uint8_t>& piece) {
  std::fill(piece.begin(), piece.end(), 0);
  switch (kind) {
    case 'a':  // real AC-3: the sample's 768-byte frames, one burst every 6,144 bytes
      for (size_t at = 0; at + 6144 <= piece.size(); at += 6144) {
        static size_t frame = 0;
        const uint8_t* bytes = &ac3Frames[frame * kFrameSize];
        frame = (frame + 1) % (ac3Frames.size() / kFrameSize);
        putHeader(&piece[at], 0x0001, kFrameSize * 8);
        for (size_t i = 0; i < kFrameSize; ++i) piece[at + 16 + i] = bytes[i ^ 1];
      }
      break;
    case 'b':  // silence
      break;
    case 'c':  // PCM noise
      for (auto& b : piece) b = nextByte();
      break;
    case 'd':  // the first sync byte at every other byte
      for (size_t i = 0; i < piece.size(); ++i) piece[i] = i % 2 ? 0x72 : nextByte();
      break;
    case 'e':  // dense short bursts back to back: 16-byte header, 32-byte payload
      for (size_t at = 0; at + 48 <= piece.size(); at += 48) {
        putHeader(&piece[at], 0x0001, 32 * 8);
        for (size_t i = 0; i < 32; ++i) piece[at + 16 + i] = nextByte();
      }
      break;
  }
}

bool writeAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t done = write(fd, p, n);
    if (done <= 0) return false;
    p += done;
    n -= size_t(done);
  }
  return true;
}

void makeInput(const std::string& path, char kind, uint64_t bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  put32(header + 4, uint32_t(36 + bytes));
  put32(header + 16, 16);
  put16(header + 20, 1);
  put16(header + 22, 2);
  put32(header + 24, 48000);
  put32(header + 28, 192000);
  put16(header + 32, 4);
  put16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  put32(header + 40, uint32_t(bytes));
  writeAll(fd, header, sizeof header);
  std::vector<uint8_t> piece(6144 * 48 * 16);  // a multiple of both burst periods
  for (uint64_t done = 0; done < bytes; done += piece.size()) {
    fill(kind, piece);
    writeAll(fd, piece.data(), size_t(std::min<uint64_t>(piece.size(), bytes - done)));
  }
  close(fd);
}

double seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A plain sequential read of the input and a plain write of outBytes.
double floorRun(const std::string& in, const std::string& out, uint64_t outBytes) {
  static uint8_t* buffer = static_cast<uint8_t*>(std::aligned_alloc(64, 1 << 20));
  std::memset(buffer, 0x55, 1 << 20);
  auto start = Clock::now();
  int fd = open(in.c_str(), O_RDONLY);
  while (read(fd, buffer, 1 << 20) > 0) {
  }
  close(fd);
  fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (uint64_t done = 0; done < outBytes; done += 1 << 20) {
    writeAll(fd, buffer, size_t(std::min<uint64_t>(1 << 20, outBytes - done)));
  }
  close(fd);
  return seconds(start);
}

// Runs argv with standard output and error to /dev/null, or standard error
// to an 80-column pseudo-terminal (TERM=xterm) whose lines are read here.
double programRun(const std::vector<std::string>& args, long* maxRssKiB, bool terminal = false) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int master = -1, slave = -1;
  if (terminal) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    struct winsize size {};
    size.ws_col = 80;
    ioctl(slave, TIOCSWINSZ, &size);
  }
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(terminal ? slave : null, 2);
    if (terminal) setenv("TERM", "xterm", 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (terminal) {
    close(slave);
    char lines[4096];
    while (read(master, lines, sizeof lines) > 0) {
    }
    close(master);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double t = seconds(start);
  if (maxRssKiB) *maxRssKiB = std::max(*maxRssKiB, long(usage.ru_maxrss));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "%s failed\n", argv[0]);
  return t;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

uint64_t fileSize(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  off_t size = lseek(fd, 0, SEEK_END);
  close(fd);
  return uint64_t(size);
}

bool onPath(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  // The RIFF and data sizes are 32-bit fields: a larger input would claim a
  // wrapped size, which other programs may read on past its end for ever.
  if (mib == 0 || mib > 4095) {
    std::fprintf(stderr, "an input holds 1 to 4095 MiB\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string dir = argc > 3 ? argv[3] : "/tmp";
  const std::string kinds = argc > 4 ? argv[4] : "abcde";
  const std::string baseline = argc > 5 ? argv[5] : "";
  const bool ffmpeg = onPath("ffmpeg");
  // Large blocks are always mapped and given back, so that this process stays
  // small: a child's peak resident memory counts what it had before the exec.
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);
  {
    const std::string frames = dir + "/sarvik-bench-sample.ac3";
    programRun({SARVIK, SAMPLE_WAV, frames}, nullptr);
    FILE* f = std::fopen(frames.c_str(), "rb");
    ac3Frames.resize(fileSize(frames));
    if (!f || std::fread(ac3Frames.data(), 1, ac3Frames.size(), f) != ac3Frames.size() ||
        ac3Frames.size() % kFrameSize != 0 || ac3Frames.empty()) {
      std::fprintf(stderr, "cannot take the AC-3 frames of %s\n", SAMPLE_WAV);
      return 1;
    }
    std::fclose(f);
    unlink(frames.c_str());
  }
  const uint64_t bytes = mib << 20;
  const char* names[] = {"(a) real AC-3, 192 kbit/s", "(b) silence", "(c) PCM noise",
                         "(d) sync byte every other byte", "(e) dense short bursts"};
  std::printf("%-31s %9s %11s %9s %9s %9s %9s %9s\n", "input", "sarvik s", "sarvik GB/s", "tty",
              "floor", "ffmpeg", "baseline", "peak KiB");
  std::printf("%-31s %9s %11s %9s\n", "", "", "", "(ratios to sarvik's time)");
  for (char kind : kinds) {
    if (kind < 'a' || kind > 'e') continue;
    const std::string in = dir + "/sarvik-bench-" + kind + ".wav";
    const std::string out = dir + "/sarvik-bench-" + kind + ".out";
    const std::string other = dir + "/sarvik-bench-other.out";
    makeInput(in, kind, bytes);
    long rss = 0;
    programRun({SARVIK, in, out}, &rss);  // warms the page cache
    const uint64_t outBytes = fileSize(out);
    // The contenders; each writes a new file (truncating a large earlier one
    // costs the file system more than the writes themselves). Each round
    // starts with the next one, so that none always follows the same other
    // one's writes.
    std::vector<std::function<double()>> runs = {
        [&] {
          return programRun({SARVIK, in, out}, &rss);
        },
        [&] { return floorRun(in, other, outBytes); },
        [&] {
          return programRun({SARVIK, in, other}, nullptr, true);
        },
    };
    if (ffmpeg && kind == 'a') {
      runs.push_back([&] {
        return programRun({"ffmpeg", "-v", "quiet", "-y", "-f", "spdif", "-i", in, "-c", "copy",
                           "-f", "ac3", other},
                          nullptr);
      });
    }
    if (!baseline.empty())
      runs.push_back([&] { return programRun({baseline, in, other}, nullptr); });
    std::vector<std::vector<double>> ratios(runs.size());
    std::vector<double> tool;
    for (int i = 0; i < rounds; ++i) {
      std::vector<double> times(runs.size());
      for (size_t k = 0; k < runs.size(); ++k) {
        const size_t which = (k + size_t(i)) % runs.size();
        unlink(out.c_str());
        unlink(other.c_str());
        times[which] = runs[which]();
      }
      tool.push_back(times[0]);
      for (size_t k = 1; k < runs.size(); ++k) ratios[k].push_back(times[k] / times[0]);
    }
    const std::vector<double>& io = ratios[1];
    const std::vector<double> none;
    const std::vector<double>& tty = ratios[2];
    const std::vector<double>& ff = ffmpeg && kind == 'a' ? ratios[3] : none;
    const std::vector<double>& base = baseline.empty() ? none : ratios.back();
    auto ratio = [](const std::vector<double>& v) {
      return v.empty() ? std::string("-") : std::to_string(median(v)).substr(0, 5);
    };
    // The spread: the lowest and the highest ratio of the rounds.
    auto range = [](std::vector<double> v) {
      if (v.empty()) return std::string();
      std::sort(v.begin(), v.end());
      char text[16];
      std::snprintf(text, sizeof text, "%.2f-%.2f", v.front(), v.back());
      return std::string(text);
    };
    const double t = median(tool);
    std::printf("%-31s %9.3f %11.2f %9s %9s %9s %9s %9ld\n", names[kind - 'a'], t,
                double(bytes) / t / 1e9, ratio(tty).c_str(), ratio(io).c_str(), ratio(ff).c_str(),
                ratio(base).c_str(), rss);
    std::printf("%-31s %9s %11s %9s %9s %9s %9s\n", "  the rounds' range", "", "",
                range(tty).c_str(), range(io).c_str(), range(ff).c_str(), range(base).c_str());
    std::fflush(stdout);
    unlink(in.c_str());
    unlink(out.c_str());
    unlink(other.c_str());
  }
  return 0;
}
