// The seam between the RIFF and output layers above it and the system's
// files: a handful of plain operations with one implementation per platform
// (file_posix.cpp, file_win32.cpp), chosen by the build. Nothing below this
// seam knows what a chunk is. A file keeps the operations it was opened
// with, so that nothing global is read while it is in use.
#pragma once

#include <cstdint>
#include <string>

struct SystemFile;  // an open file of the platform's

// A read or write that was interrupted before it moved a byte: try again.
constexpr long kInterrupted = -2;

// Paths are narrow strings; on Windows they are UTF-8, turned into UTF-16
// for the W calls in the Win32 file alone, so that no name passes through
// the ANSI code page.
struct FileOps {
  // Opens an existing regular (disk) file for reading. Null on failure, and
  // for anything else: a directory, pipe, FIFO or device.
  SystemFile* (*openRead)(const char* path);
  // Creates path, or truncates an existing file to length 0, for writing;
  // other processes may read it. Null on failure.
  SystemFile* (*create)(const char* path);
  // One system read or write: the bytes moved (a read may give fewer than n;
  // 0 at the end of the file), -1 on an error, or kInterrupted.
  long (*readSome)(SystemFile* file, void* buffer, uint32_t n);
  long (*writeSome)(SystemFile* file, const void* data, uint32_t n);
  // Moves to the absolute offset; the new position, or -1.
  int64_t (*seek)(SystemFile* file, int64_t offset);
  // The file's size, or -1.
  int64_t (*size)(SystemFile* file);
  // Closes and frees the handle; false when the system reports a failure
  // (a deferred write error of the output surfaces here).
  bool (*close)(SystemFile* file);
  // True when both paths exist and name the same file, also through another
  // name or link.
  bool (*sameFile)(const char* pathA, const char* pathB);
};

// The platform's own operations.
extern const FileOps kSystemFileOps;
// The operations that files are opened with: kSystemFileOps, unless a test
// build has put others in their place before main.
extern const FileOps* fileOps;

// Reads until count bytes are in, the file ends or an error comes: the bytes
// read, 0 at the end, -1 when a read failed, also after some bytes.
int32_t fileReadFull(const FileOps& ops, SystemFile* file, void* buffer, int32_t count);
// Writes all n bytes, continuing after partial writes. False on an error or
// a write that makes no progress.
bool fileWriteAll(const FileOps& ops, SystemFile* file, const void* data, uint32_t n);

// Makes the process safe to run before any file is opened: standard
// descriptors that are closed are opened on the null device (so that no
// input or output takes their place), and a closed pipe or a file-size limit
// turns into a failed write instead of a signal that ends the process.
void prepareProcess();

#ifdef _WIN32
// UTF-16 text of the system's (a command-line argument) as UTF-8.
std::string utf8FromWide(const wchar_t* text);
#endif
