#include "test_support.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

Bytes le16(uint16_t v) { return Bytes{char(v & 0xFF), char(v >> 8)}; }
Bytes le32(uint32_t v) { return le16(uint16_t(v)) + le16(uint16_t(v >> 16)); }

Bytes chunkSized(const char* id, uint32_t size, const Bytes& body) {
  Bytes c = Bytes(id, 4) + le32(size) + body;
  if (body.size() % 2) c += '\0';
  return c;
}
Bytes chunk(const char* id, const Bytes& body) {
  return chunkSized(id, uint32_t(body.size()), body);
}

Bytes fmtBody(uint16_t tag, uint16_t channels, uint16_t bits) {
  uint16_t align = uint16_t(channels * bits / 8);
  return le16(tag) + le16(channels) + le32(48000) + le32(48000u * align) + le16(align) + le16(bits);
}

Bytes riffWave(const Bytes& children) { return chunk("RIFF", "WAVE" + children); }

Bytes pcmWav(const Bytes& data) {
  return riffWave(chunk("fmt ", fmtBody(1, 2, 16)) + chunk("data", data));
}

Bytes burst(uint16_t pc, uint16_t pd, const Bytes& payload) {
  return Bytes(8, '\0') + le16(0xF872) + le16(0x4E1F) + le16(pc) + le16(pd) + payload;
}

Bytes swapped(const Bytes& p, size_t length) {
  Bytes out(length, '\0');
  for (size_t k = 0; k < length; ++k) out[k] = p.at(k ^ 1);
  return out;
}

Bytes noise(size_t n, uint32_t seed) {
  Bytes b(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x >> 24);
  }
  return b;
}

std::string sjis(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == iconv_t(-1)) throw std::runtime_error("iconv_open CP932");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* o = out.data();
  size_t outLeft = out.size();
  size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == size_t(-1)) throw std::runtime_error("iconv " + utf8);
  out.resize(out.size() - outLeft);
  return out;
}

std::string found(long long n, long long offset) {
  return sjis(std::to_string(n) + "つ目のヘッダが" + std::to_string(offset) +
              "バイト目に見つかりました。\n");
}

std::string summary(long long frames, long long bytes) {
  return sjis("ビットストリーム: " + std::to_string(frames) + "フレーム, " + std::to_string(bytes) +
              "バイト\n");
}

std::string tempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sarvik-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  return pattern;
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  if (!f) throw std::runtime_error("write " + path);
}

Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& env, int uid) {
  std::string dir = tempDir();
  std::string outPath = dir + "/stdout", errPath = dir + "/stderr";
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) envStrings.push_back(*e);
  envStrings.insert(envStrings.end(), env.begin(), env.end());
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    if (uid != -1 && (setgid(gid_t(uid)) != 0 || setuid(uid_t(uid)) != 0)) _exit(126);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  Outcome run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.maxRssKiB = usage.ru_maxrss;
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  rmdir(dir.c_str());
  return run;
}

Extraction extract(const std::string& program, const Bytes& wav,
                   const std::vector<std::string>& env) {
  std::string dir = tempDir();
  writeFile(dir + "/in.wav", wav);
  Extraction e;
  e.run = runProgram(program, {program, dir + "/in.wav", dir + "/out.bin"}, env);
  e.output = readFile(dir + "/out.bin");
  unlink((dir + "/in.wav").c_str());
  unlink((dir + "/out.bin").c_str());
  rmdir(dir.c_str());
  return e;
}

}  // namespace testsupport
