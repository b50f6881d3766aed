// Creation and writing of the output file. Writes are gathered in a buffer of
// about 1 MiB and issued as large sequential writes.
#pragma once

#include <cstdint>

struct OutputFile;

// Creates path, or truncates an existing file to length 0, for writing; other
// processes may read it. Null on failure.
OutputFile* outputCreate(const char* path);

// Appends n bytes. False when a write of the buffer failed or made no
// progress; what the system accepted before the failure stays in the file.
bool outputWrite(OutputFile* output, const void* data, uint32_t n);

// Hands every buffered byte to the system. False as for outputWrite.
bool outputFlush(OutputFile* output);

// Flushes, closes and frees the output. False when the flush or the close
// failed (deferred write errors surface at the close).
bool outputClose(OutputFile* output);

// True when both paths exist and name the same file, also through another
// name or link.
bool namesSameFile(const char* pathA, const char* pathB);
