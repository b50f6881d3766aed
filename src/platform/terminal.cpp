// The terminal module's rule, the same on every platform: the progress line
// stands whole on its own row, and no other text shares it.
#include "platform/terminal.h"

#include "platform/screen.h"

namespace {

size_t lineShown = 0;  // characters of the progress line on the screen

// Before a text that lands on the screen: the line goes, and the text
// waiting for standard output comes first.
void makeRoom(FILE* stream) {
  if (lineShown == 0 || !onScreen(stream)) return;
  progressErase();
  std::fflush(stdout);
}

}  // namespace

void textWrite(FILE* stream, const char* text, size_t n) {
  makeRoom(stream);
  if (onScreen(stream)) {
    screenWrite(stream, text, n);
  } else {
    std::fwrite(text, 1, n, stream);
  }
}

void nameWrite(FILE* stream, const char* name) {
  makeRoom(stream);
  nameOut(stream, name);
}

void progressDraw(const char* text, size_t n) {
  if (!progressAvailable()) return;
  lineDraw(text, n, lineShown);
  lineShown = n;
}

void progressErase() {
  if (lineShown > 0) progressDraw("", 0);
}
