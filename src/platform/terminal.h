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
