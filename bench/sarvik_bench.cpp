// Measures sarvik against the I/O floor of the same run: for each generated
// input, the time of `sarvik in.wav out` beside the time of a plain sequential
// read of the same input (256 KiB blocks into an aligned buffer) plus a plain
// sequential write of the same output size. Median of several runs each.
//
// usage: sarvik_bench [MiB per input, default 1024] [runs, default 5] [dir]
//                     [inputs, default abcde]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Fills one 6,144-byte-aligned piece of the stream, by kind.
void fill(char kind, std::vector<uint8_t>& piece) {
  std::fill(piece.begin(), piece.end(), 0);
  switch (kind) {
    case 'a':  // AC-3: 1,792-byte payloads every 6,144 bytes, zeros between
      for (size_t at = 0; at + 6144 <= piece.size(); at += 6144) {
        putHeader(&piece[at], 0x0001, 1792 * 8);
        for (size_t i = 0; i < 1792; ++i) piece[at + 16 + i] = nextByte();
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
  while (read(fd, buffer, 262144) > 0) {
  }
  close(fd);
  fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (uint64_t done = 0; done < outBytes; done += 1 << 20) {
    writeAll(fd, buffer, size_t(std::min<uint64_t>(1 << 20, outBytes - done)));
  }
  close(fd);
  return seconds(start);
}

double sarvikRun(const std::string& in, const std::string& out, long* maxRssKiB) {
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(SARVIK, SARVIK, in.c_str(), out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double t = seconds(start);
  *maxRssKiB = std::max(*maxRssKiB, long(usage.ru_maxrss));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "sarvik failed\n");
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

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string dir = argc > 3 ? argv[3] : "/tmp";
  const std::string kinds = argc > 4 ? argv[4] : "abcde";
  const uint64_t bytes = mib << 20;
  const char* names[] = {"(a) AC-3 stream", "(b) silence", "(c) PCM noise",
                         "(d) sync byte every other byte", "(e) dense short bursts"};
  std::printf("%-32s %10s %10s %7s %10s %9s\n", "input", "sarvik s", "floor s", "ratio",
              "sarvik GB/s", "peak KiB");
  for (char kind : kinds) {
    if (kind < 'a' || kind > 'e') continue;
    const std::string in = dir + "/sarvik-bench-" + kind + ".wav";
    const std::string out = dir + "/sarvik-bench-" + kind + ".out";
    const std::string floorOut = dir + "/sarvik-bench-floor.out";
    makeInput(in, kind, bytes);
    long rss = 0;
    sarvikRun(in, out, &rss);  // warms the page cache
    const uint64_t outBytes = fileSize(out);
    std::vector<double> tool, io;
    // Both write a new file: truncating a large earlier one costs the
    // file system more than the writes themselves.
    for (int i = 0; i < runs; ++i) {
      unlink(floorOut.c_str());
      io.push_back(floorRun(in, floorOut, outBytes));
      unlink(out.c_str());
      tool.push_back(sarvikRun(in, out, &rss));
    }
    const double t = median(tool), f = median(io);
    std::printf("%-32s %10.3f %10.3f %7.2f %10.2f %9ld\n", names[kind - 'a'], t, f, t / f,
                double(bytes) / t / 1e9, rss);
    std::fflush(stdout);
    unlink(in.c_str());
    unlink(out.c_str());
    unlink(floorOut.c_str());
  }
  return 0;
}
