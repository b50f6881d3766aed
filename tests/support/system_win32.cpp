// The test helpers that differ by platform, over Win32.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <stdexcept>

#include "platform/win32_text.h"
#include "test_support.h"

namespace testsupport {

namespace {

// Through the programs' own decoder, whose forms the names test pins down.
std::wstring wide(const std::string& wtf8) {
  std::wstring w(kWideRoom, L'\0');
  const long n = wideFromWtf8(wtf8.c_str(), w.data(), w.size());
  if (n < 0) throw std::runtime_error("no WTF-8: " + wtf8);
  w.resize(size_t(n));
  return w;
}

std::string narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);  // the terminating null
  return s;
}

}  // namespace

std::string sjis(const std::string& utf8) {
  const std::wstring w = wide(utf8);
  const int n = WideCharToMultiByte(932, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(932, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
  if (!utf8.empty() && n == 0) throw std::runtime_error("CP932 " + utf8);
  return out;
}

std::string ansi(const std::string& utf8) {
  const std::wstring w = wide(utf8);
  const int n =
      WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::filesystem::path fsPath(const std::string& path) { return std::filesystem::path(wide(path)); }

void writeSparse(const std::string& path, long long size,
                 const std::vector<std::pair<long long, Bytes>>& pieces) {
  HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("create " + path);
  DWORD ignored = 0;
  DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER at;
  at.QuadPart = size;
  bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  for (const auto& [offset, bytes] : pieces) {
    at.QuadPart = offset;
    DWORD done = 0;
    ok = ok && SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
         WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr) && done == bytes.size();
  }
  CloseHandle(h);
  if (!ok) throw std::runtime_error("write " + path);
}

namespace {

HANDLE inheritable(const std::string& path) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// CR LF to LF; a lone LF is marked, so that it never matches an expected text.
std::string lines(const std::string& raw) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) text += "<LF without CR>";
    text += raw[i];
  }
  return text;
}

// The console of this process, for a program to inherit, with its screen
// cleared; throws where there is none.
HANDLE clearedConsole() {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) {
    throw std::runtime_error("no console: run the test on one");
  }
  DWORD done = 0;
  FillConsoleOutputCharacterW(console, L' ', DWORD(info.dwSize.X) * DWORD(info.dwSize.Y), {0, 0},
                              &done);
  SetConsoleCursorPosition(console, {0, 0});
  return console;
}

}  // namespace

std::string screenText(void* console) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(console, &info)) return "";
  std::wstring text;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(size_t(info.dwSize.X), L' ');
    DWORD got = 0;
    ReadConsoleOutputCharacterW(console, row.data(), DWORD(row.size()), {0, y}, &got);
    row.resize(row.find_last_not_of(L' ') + 1);
    text += (y > 0 ? L"\n" : L"") + row;
  }
  const int n =
      WideCharToMultiByte(932, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(932, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunOptions& options) {
  const TempDir dir;
  std::string commandLine;
  for (const std::string& a : args) commandLine += (commandLine.empty() ? "\"" : " \"") + a + "\"";
  std::wstring wideLine = wide(commandLine);
  std::vector<std::string> inherited;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* e = block; *e; e += wcslen(e) + 1) inherited.push_back(narrow(e));
    FreeEnvironmentStringsW(block);
  }
  std::wstring env;
  for (const std::string& e : environmentWith(inherited, options.env)) env += wide(e) + L'\0';
  env += L'\0';

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE console = options.terminal ? clearedConsole() : INVALID_HANDLE_VALUE;
  const bool outOnConsole = options.terminal == 1 || (options.terminal && options.errToOut);
  const bool errOnConsole = options.terminal == 2 || (options.terminal && options.errToOut);
  si.hStdOutput = outOnConsole ? console : inheritable(dir / "stdout");
  si.hStdError = errOnConsole       ? console
                 : options.errToOut ? si.hStdOutput
                                    : inheritable(dir / "stderr");
  PROCESS_INFORMATION pi{};
  Outcome run;
  if (CreateProcessW(wide(program).c_str(), &wideLine[0], nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT, &env[0], nullptr, &si, &pi)) {
    DWORD code = 0;
    if (WaitForSingleObject(pi.hProcess, DWORD(options.timeoutSeconds) * 1000) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, INFINITE);
    } else if (GetExitCodeProcess(pi.hProcess, &code)) {
      run.status = int(code);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  if (!outOnConsole) CloseHandle(si.hStdOutput);
  if (!errOnConsole && !options.errToOut) CloseHandle(si.hStdError);
  run.out = lines(readFile(dir / "stdout"));
  run.err = lines(readFile(dir / "stderr"));
  if (options.terminal) {
    (options.terminal == 1 ? run.out : run.err) = screenText(console);
    CloseHandle(console);
  }
  return run;
}

}  // namespace testsupport
