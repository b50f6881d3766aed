// Messages as a person reads them. The programs' texts are Shift_JIS bytes,
// and files and pipes get them as they are. A terminal (on Windows, a
// console) shows the same text in its own character set instead. Whether a
// standard stream is a terminal is asked once, at start-up, and kept with
// the stream.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

// Asks standard output and standard error whether each is a terminal, and
// which character set it shows. Before the first message.
void terminalSetUp();

// Writes n bytes of Shift_JIS text to stream: converted where the stream is
// a terminal that shows another character set and can hold the text, as
// they are everywhere else. Failures are ignored: a message that cannot be
// shown does not stop the run.
void textWrite(FILE* stream, const char* text, size_t n);
inline void textWrite(FILE* stream, const char* text) {
  textWrite(stream, text, std::strlen(text));
}

// Writes a name the user typed (the program's name, UTF-8 on Windows): it is
// the user's own text, never converted from Shift_JIS. On Windows a file or
// pipe gets it in the ANSI code page, as the system passes it to programs.
void nameWrite(FILE* stream, const char* name);

// The progress line, drawn in place on standard error where that is a
// terminal (a console on Windows; on POSIX one whose TERM is set and is not
// "dumb"), and nowhere else: no file or pipe gets a byte of it. Every text
// above that lands on the screen erases it first and writes the pending
// standard output before itself, so that it stands whole on its own row; the
// line is drawn again by the next progressDraw.
// True where the line is drawn; asked by terminalSetUp.
bool progressAvailable();
// Standard error's width in columns, 0 where it is unknown.
int progressWidth();
// Draws n ASCII characters, no wider than the terminal, in place of the
// line drawn before; n = 0 erases it.
void progressDraw(const char* text, size_t n);
// Erases the line, if it is shown. The end of a run, whichever way it ends,
// calls this.
void progressErase();
