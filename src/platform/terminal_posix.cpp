// Terminals over POSIX: text is converted with iconv to the character set
// of the user's locale.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/screen.h"
#include "platform/terminal.h"

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

// Whether standard output and standard error are terminals, and whether
// standard error shows the progress line.
bool stdoutOnScreen = false;
bool stderrOnScreen = false;
bool lineOn = false;

// A character set's name, long enough for any iconv knows.
using Charset = char[64];

// The name of the character set that the locale in force shows. An
// installed locale tells its own, whatever its name ("ja_JP" is EUC-JP);
// the process's locale stays "C" all the same. Otherwise the name of the
// locale does: LC_ALL over LC_CTYPE over LANG, the first that is set,
// "ja_JP.UTF-8@modifier" giving "UTF-8". Empty when neither tells.
void localeCharset(Charset& charset) {
  charset[0] = '\0';
  if (const locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(0))) {
    std::snprintf(charset, sizeof(Charset), "%s", nl_langinfo_l(CODESET, locale));
    freelocale(locale);
    return;
  }
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = std::getenv(variable);
    if (!name || !*name) continue;
    const char* dot = std::strchr(name, '.');
    if (dot) {
      std::snprintf(charset, sizeof(Charset), "%.*s", int(std::strcspn(dot + 1, "@")), dot + 1);
    }
    return;
  }
}

// The conversion from Shift_JIS to the locale's character set, or
// kNoConversion. iconv knows every spelling of a name ("eucJP", "ujis",
// "utf8"). One of Shift_JIS gives the bytes as they are, and one it cannot
// open, or the "C" locale's ASCII, which cannot hold the text, leaves them so.
iconv_t openToLocale() {
  Charset charset;
  localeCharset(charset);
  return *charset ? iconv_open(charset, "CP932") : kNoConversion;
}

// Opened at the first text for a terminal, not before: files and pipes never
// need the locale's data (megabytes of address space), and a run has its
// blocks by its first report line, so that whether that data can still be
// mapped never decides whether the run can be had.
iconv_t toLocale() {
  static const iconv_t conversion = openToLocale();
  return conversion;
}

// The progress line is a carriage return, the text and erase-in-line
// (ESC [ K), which every terminal but a dumb one knows; a terminal that
// names no type counts as dumb.
bool knownTerminal() {
  const char* type = std::getenv("TERM");
  return type && *type && std::strcmp(type, "dumb") != 0;
}

}  // namespace

void terminalSetUp() {
  stdoutOnScreen = isatty(STDOUT_FILENO);
  stderrOnScreen = isatty(STDERR_FILENO);
  lineOn = stderrOnScreen && knownTerminal();
}

bool onScreen(FILE* stream) { return stream == stdout ? stdoutOnScreen : stderrOnScreen; }

bool progressAvailable() { return lineOn; }

void screenWrite(FILE* stream, const char* text, size_t n) {
  // Converted whole, once, so that a text the character set cannot hold
  // goes as it is rather than half converted. The longest text, a report
  // line, takes less than 256 bytes, half again as many in UTF-8.
  char converted[1024];
  char* in = const_cast<char*>(text);
  char* out = converted;
  size_t inLeft = n, outLeft = sizeof converted;
  const iconv_t conversion = toLocale();
  const bool whole = conversion != kNoConversion &&
                     iconv(conversion, nullptr, nullptr, nullptr, nullptr) == 0 &&
                     iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) &&
                     iconv(conversion, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
  if (whole) {
    std::fwrite(converted, 1, sizeof converted - outLeft, stream);
  } else {
    std::fwrite(text, 1, n, stream);
  }
}

void nameOut(FILE* stream, const char* name) { std::fputs(name, stream); }

int progressWidth() {
  struct winsize size {};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void lineDraw(const char* text, size_t n, size_t) {
  char line[256];  // one write: the line never shows half drawn
  n = std::min(n, sizeof line - 4);
  line[0] = '\r';
  std::memcpy(line + 1, text, n);
  std::memcpy(line + 1 + n, "\x1b[K", 3);
  std::fwrite(line, 1, n + 4, stderr);
}
