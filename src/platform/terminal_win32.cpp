// Consoles over Win32: a console gets its text as UTF-16 through
// WriteConsoleW, so that it reads right under any console code page; the
// code page itself is left as it is.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "platform/terminal.h"
#include "platform/win32_text.h"

namespace {

// Code page 932, the programs' Shift_JIS.
constexpr UINT kShiftJis = 932;

struct Console {
  FILE* stream;
  DWORD handleId;
  HANDLE handle;  // null when the stream is no console
};
Console consoles[] = {{stdout, STD_OUTPUT_HANDLE, nullptr}, {stderr, STD_ERROR_HANDLE, nullptr}};

HANDLE consoleOf(FILE* stream) {
  for (const Console& console : consoles) {
    if (console.stream == stream) return console.handle;
  }
  return nullptr;
}

// Lines end with CR LF on a console, as the text streams end them elsewhere.
void writeConsole(FILE* stream, HANDLE console, const std::wstring& text) {
  std::wstring lines;
  for (wchar_t c : text) {
    if (c == L'\n') lines += L'\r';
    lines += c;
  }
  std::fflush(stream);  // whatever went through the stream comes first
  DWORD written = 0;
  WriteConsoleW(console, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

}  // namespace

void terminalSetUp() {
  for (Console& console : consoles) {
    HANDLE handle = GetStdHandle(console.handleId);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode)) {
      console.handle = handle;
    }
  }
}

void textWrite(FILE* stream, const char* text, size_t n) {
  if (HANDLE console = consoleOf(stream)) {
    writeConsole(stream, console, wideText(kShiftJis, text, n));
  } else {
    std::fwrite(text, 1, n, stream);
  }
}

void nameWrite(FILE* stream, const char* name) {
  const std::wstring text = wideText(CP_UTF8, name, std::strlen(name));
  if (HANDLE console = consoleOf(stream)) {
    writeConsole(stream, console, text);
    return;
  }
  const std::string ansi = narrowText(CP_ACP, text.data(), text.size());
  std::fwrite(ansi.data(), 1, ansi.size(), stream);
}
