// The seam between the program and its system: what a run needs of the
// files, memory and the clock, in one table, one implementation per platform
// (file_posix.cpp, file_win32.cpp). Nothing below it knows what a chunk is.
// A program sets its table once, at start-up; a file keeps the operations it
// was opened with.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file of the platform's, held by value: a descriptor on POSIX, a
// HANDLE on Windows.
using FileHandle = intptr_t;
// No file: what opening or creating gives on failure (both systems' own
// value for it, -1 and INVALID_HANDLE_VALUE).
constexpr FileHandle kNoFile = -1;

// Paths are narrow strings; on Windows they are WTF-8 (win32_text.h), turned
// into UTF-16 for the W calls in the Win32 file alone, so that no name passes
// through the ANSI code page.
struct SystemOps {
  // Opens an existing regular (disk) file for reading. kNoFile on failure,
  // and for anything else: a directory, pipe, FIFO or device.
  FileHandle (*openRead)(const char* path);
  // Creates path, or truncates an existing file to length 0, for writing;
  // other processes may read it. kNoFile on failure.
  FileHandle (*create)(const char* path);
  // One system read or write: the bytes moved (a read may give fewer than n;
  // 0 at the end of the file), or -1 on an error. A call that a signal
  // interrupted is made again below this seam.
  long (*readSome)(FileHandle file, void* buffer, uint32_t n);
  long (*writeSome)(FileHandle file, const void* data, uint32_t n);
  // Moves to the absolute offset; the new position, or -1.
  int64_t (*seek)(FileHandle file, int64_t offset);
  // The file's size, or -1.
  int64_t (*size)(FileHandle file);
  // False when the system reports a failure (a deferred write error of the
  // output surfaces here).
  bool (*close)(FileHandle file);
  // True when both paths exist and name the same file, also through another
  // name or link.
  bool (*sameFile)(const char* pathA, const char* pathB);
  // n zero-filled bytes, or null when there are none.
  void* (*allocate)(size_t n);
  // Milliseconds on a clock that never goes back, from an arbitrary start.
  int64_t (*clock)();
};

// The platform's own operations.
extern const SystemOps kPlatformOps;
// Those that a program runs over, chosen when it is linked: the platform's,
// or a test build's that injects faults.
extern const SystemOps& kProgramOps;
// The operations in force: the platform's until setSystemOps sets others.
const SystemOps& systemOps();
void setSystemOps(const SystemOps& ops);

// The platform's allocation and clock, which every platform shares.
void* zeroedBlock(size_t n);
int64_t steadyClock();

// Reads until count bytes are in, the file ends or an error comes: the bytes
// read, 0 at the end, -1 when a read failed, also after some bytes.
int32_t fileReadFull(const SystemOps& ops, FileHandle file, void* buffer, int32_t count);
// Writes all n bytes, continuing after partial writes. False on an error or
// a write that makes no progress.
bool fileWriteAll(const SystemOps& ops, FileHandle file, const void* data, uint32_t n);
