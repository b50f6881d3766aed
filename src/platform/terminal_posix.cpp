// Terminals over POSIX: text is converted with iconv to the character set
// that the user's locale names.
#include <iconv.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/terminal.h"

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

struct Terminal {
  FILE* stream;
  iconv_t toLocale;  // or kNoConversion: the bytes go as they are
};
Terminal terminals[] = {{stdout, kNoConversion}, {stderr, kNoConversion}};

// The character set of the locale in force, from its name alone
// ("ja_JP.UTF-8" gives "UTF-8"), so that a locale the machine has not
// installed still counts. Empty when the name gives none ("C", "POSIX").
std::string localeCharset() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = std::getenv(variable);
    if (!name || !*name) continue;
    const char* dot = std::strchr(name, '.');
    if (!dot) return "";
    const std::string charset(dot + 1);
    return charset.substr(0, charset.find('@'));
  }
  return "";
}

// Shift_JIS under any of its names: no conversion needed.
bool isShiftJis(const std::string& charset) {
  std::string key;
  for (char c : charset) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  for (const char* name : {"SJIS", "SHIFTJIS", "CP932", "MS932", "WINDOWS31J", "MSKANJI"}) {
    if (key == name) return true;
  }
  return false;
}

// The progress line: a carriage return, the text and erase-in-line
// (ESC [ K), which every terminal but a dumb one knows; a terminal that
// names no type counts as dumb.
bool lineWanted = false;
bool lineShown = false;
bool stdoutOnScreen = false;

bool knownTerminal() {
  const char* type = std::getenv("TERM");
  return type && *type && std::strcmp(type, "dumb") != 0;
}

// Before a text that lands on the screen: the line goes, and the text
// waiting for standard output comes first.
void makeRoom(FILE* stream) {
  if (!lineShown || (stream != stderr && !stdoutOnScreen)) return;
  progressErase();
  std::fflush(stdout);
}

}  // namespace

void terminalSetUp() {
  lineWanted = isatty(STDERR_FILENO) && knownTerminal();
  stdoutOnScreen = isatty(STDOUT_FILENO);
  const std::string charset = localeCharset();
  if (charset.empty() || isShiftJis(charset)) return;
  for (Terminal& terminal : terminals) {
    if (isatty(fileno(terminal.stream))) terminal.toLocale = iconv_open(charset.c_str(), "CP932");
  }
}

void textWrite(FILE* stream, const char* text, size_t n) {
  makeRoom(stream);
  for (const Terminal& terminal : terminals) {
    if (terminal.stream != stream || terminal.toLocale == kNoConversion) continue;
    // A character takes at most 4 bytes in any character set a terminal uses.
    std::string converted(4 * n + 16, '\0');
    char* in = const_cast<char*>(text);
    size_t inLeft = n;
    char* out = &converted[0];
    size_t outLeft = converted.size();
    iconv(terminal.toLocale, nullptr, nullptr, nullptr, nullptr);
    if (iconv(terminal.toLocale, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) &&
        iconv(terminal.toLocale, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1)) {
      std::fwrite(converted.data(), 1, converted.size() - outLeft, stream);
      return;
    }
    break;  // the character set cannot hold the text: the bytes as they are
  }
  std::fwrite(text, 1, n, stream);
}

void nameWrite(FILE* stream, const char* name) {
  makeRoom(stream);
  std::fputs(name, stream);
}

bool progressAvailable() { return lineWanted; }

int progressWidth() {
  struct winsize size {};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void progressDraw(const char* text, size_t n) {
  if (!lineWanted) return;
  if (n == 0) {
    progressErase();
    return;
  }
  char line[256];  // one write: the line never shows half drawn
  n = std::min(n, sizeof line - 4);
  line[0] = '\r';
  std::memcpy(line + 1, text, n);
  std::memcpy(line + 1 + n, "\x1b[K", 3);
  std::fwrite(line, 1, n + 4, stderr);
  lineShown = true;
}

void progressErase() {
  if (!lineShown) return;
  std::fputs("\r\x1b[K", stderr);
  lineShown = false;
}
