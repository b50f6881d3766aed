// The test helpers that differ by platform, over POSIX.
#include <fcntl.h>
#include <iconv.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "test_support.h"

extern char** environ;

namespace testsupport {

std::string encoded(const char* charset, const std::string& utf8) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  if (cd == iconv_t(-1)) throw std::runtime_error(std::string("iconv_open ") + charset);
  std::string out(utf8.size() * 4 + 4, '\0');
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

std::string sjis(const std::string& utf8) { return encoded("CP932", utf8); }

std::string ansi(const std::string& utf8) { return utf8; }

bool waitsIn(long id, long call, int fd) {
  // A blocked call shows in /proc as its number and arguments, a running
  // process or thread as "running".
  std::ifstream shown("/proc/" + std::to_string(id) + "/syscall");
  long number = -1;
  std::string first;
  return shown >> number >> first && number == call && std::stoul(first, nullptr, 16) == ulong(fd);
}

namespace {

// True when the child process waits in a write to descriptor fd, or has ended.
bool waitsInWrite(pid_t pid, int fd) {
  siginfo_t info{};
  return (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid) ||
         waitsIn(pid, SYS_write, fd);
}

}  // namespace

std::filesystem::path fsPath(const std::string& path) { return std::filesystem::u8path(path); }

void writeSparse(const std::string& path, long long size,
                 const std::vector<std::pair<long long, Bytes>>& pieces) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ftruncate(fd, off_t(size)) != 0) throw std::runtime_error("create " + path);
  for (const auto& [at, bytes] : pieces) {
    if (pwrite(fd, bytes.data(), bytes.size(), off_t(at)) != ssize_t(bytes.size())) {
      throw std::runtime_error("write " + path);
    }
  }
  close(fd);
}

Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunOptions& options) {
  const TempDir dir;
  const std::string outPath = dir / "stdout", errPath = dir / "stderr";
  std::vector<std::string> inherited;
  for (char** e = environ; *e; ++e) inherited.push_back(*e);
  std::vector<std::string> envStrings = environmentWith(inherited, options.env);
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  // A raw pseudo-terminal: the bytes as written, with no CR added.
  int master = -1, slave = -1;
  if (options.terminal) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
      throw std::runtime_error("pseudo-terminal");
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    struct termios raw;
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    struct winsize size {};
    size.ws_col = static_cast<unsigned short>(options.columns);
    ioctl(slave, TIOCSWINSZ, &size);
    if (options.signalInWrite || options.columnsInWrite) tcflow(slave, TCOOFF);
  }
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = options.errToOut ? out : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    if (options.terminal) dup2(slave, options.terminal);
    if (options.terminal && options.errToOut) dup2(slave, 3 - options.terminal);
    if (options.uid != -1 && (setgid(gid_t(options.uid)) != 0 || setuid(uid_t(options.uid)) != 0)) {
      _exit(126);
    }
    alarm(unsigned(options.timeoutSeconds));  // survives the exec
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  Outcome run;
  std::string shown;
  if (options.terminal) {
    if (options.signalInWrite || options.columnsInWrite) {
      // It cannot get past that write: the output is held.
      while (!waitsInWrite(pid, options.terminal)) sched_yield();
      if (options.signalInWrite) kill(pid, options.signalInWrite);
      struct winsize size {};
      size.ws_col = static_cast<unsigned short>(options.columnsInWrite);
      if (options.columnsInWrite) ioctl(slave, TIOCSWINSZ, &size);
      tcflow(slave, TCOON);
    }
    close(slave);
    char buffer[4096];
    ssize_t got;
    while ((got = read(master, buffer, sizeof buffer)) > 0) shown.append(buffer, size_t(got));
    close(master);  // read fails once the program has closed the terminal
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.maxRssKiB = usage.ru_maxrss;
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  if (options.terminal) (options.terminal == 1 ? run.out : run.err) = shown;
  return run;
}

}  // namespace testsupport
