// Consoles over Win32: a console gets its text as UTF-16 through
// WriteConsoleW, so that it reads right under any console code page; the
// code page itself is left as it is.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>

#include "platform/screen.h"
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

HANDLE consoleOf(FILE* stream) { return consoles[stream == stdout ? 0 : 1].handle; }

// The progress line, on standard error's console: a carriage return, the
// text and erase-in-line (ESC [ K) where the console takes escape
// sequences, and on an older one spaces over what the line held before.
bool escapes = false;

// Lines end with CR LF on a console, as the text streams end them elsewhere.
void writeConsole(FILE* stream, HANDLE console, const wchar_t* text, size_t n) {
  std::fflush(stream);  // whatever went through the stream comes first
  DWORD written = 0;
  for (size_t line = 0, at = 0; at <= n; ++at) {
    if (at < n && text[at] != L'\n') continue;
    WriteConsoleW(console, text + line, static_cast<DWORD>(at - line), &written, nullptr);
    if (at < n) WriteConsoleW(console, L"\r\n", 2, &written, nullptr);
    line = at + 1;
  }
}

}  // namespace

void terminalSetUp() {
  for (Console& console : consoles) {
    HANDLE handle = GetStdHandle(console.handleId);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode)) {
      console.handle = handle;
      if (console.stream == stderr) escapes = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    }
  }
}

bool onScreen(FILE* stream) { return consoleOf(stream) != nullptr; }

bool progressAvailable() { return consoles[1].handle != nullptr; }

void screenWrite(FILE* stream, const char* text, size_t n) {
  // In pieces cut between characters; a byte gives at most one unit.
  wchar_t wide[256];
  while (n > 0) {
    size_t piece = 0;
    while (piece < n && piece < sizeof wide / sizeof *wide - 1) {
      piece += IsDBCSLeadByteEx(kShiftJis, static_cast<BYTE>(text[piece])) ? 2 : 1;
    }
    piece = std::min(piece, n);
    const int units = MultiByteToWideChar(kShiftJis, 0, text, static_cast<int>(piece), wide,
                                          sizeof wide / sizeof *wide);
    writeConsole(stream, consoleOf(stream), wide, static_cast<size_t>(units));
    text += piece;
    n -= piece;
  }
}

void nameOut(FILE* stream, const char* name) {
  wchar_t wide[kWideRoom];
  const long units = wideFromWtf8(name, wide, kWideRoom);
  if (units < 0) return;  // no name of the system's
  if (HANDLE console = consoleOf(stream)) {
    writeConsole(stream, console, wide, static_cast<size_t>(units));
    return;
  }
  // At most 3 bytes a unit, in the UTF-8 that Windows may have as its ANSI
  // code page.
  char ansi[3 * kWideRoom];
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, units, ansi, sizeof ansi, nullptr, nullptr);
  std::fwrite(ansi, 1, static_cast<size_t>(n), stream);
}

int progressWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!consoles[1].handle || !GetConsoleScreenBufferInfo(consoles[1].handle, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void lineDraw(const char* text, size_t n, size_t shown) {
  wchar_t line[300];
  n = std::min(n, size_t{100});
  size_t length = 0;
  line[length++] = L'\r';
  for (size_t i = 0; i < n; ++i) line[length++] = static_cast<unsigned char>(text[i]);
  if (escapes) {
    for (const wchar_t c : {L'\x1b', L'[', L'K'}) line[length++] = c;
  } else if (shown > n) {
    for (size_t i = n; i < shown; ++i) line[length++] = L' ';
    line[length++] = L'\r';
    for (size_t i = 0; i < n; ++i) line[length++] = static_cast<unsigned char>(text[i]);
  }
  DWORD written = 0;
  WriteConsoleW(consoles[1].handle, line, static_cast<DWORD>(length), &written, nullptr);
}
