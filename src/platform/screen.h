// What each platform gives the terminal module (terminal.cpp), which keeps
// the one rule they share: before any other text reaches the screen, the
// progress line is erased and the text waiting for standard output is
// written. One implementation per platform (terminal_posix.cpp,
// terminal_win32.cpp), with terminalSetUp, progressAvailable and
// progressWidth of terminal.h.
#pragma once

#include <cstddef>
#include <cstdio>

// True when the standard stream is a screen: a terminal, a console.
bool onScreen(FILE* stream);
// Writes n bytes of Shift_JIS text to a stream that is a screen, in the
// screen's own character set where that can hold it.
void screenWrite(FILE* stream, const char* text, size_t n);
// Writes a name the user typed to the stream, a screen or not.
void nameOut(FILE* stream, const char* name);
// Draws n ASCII characters in place of the line of shown characters drawn
// before, in one write; n = 0 erases it.
void lineDraw(const char* text, size_t n, size_t shown);
