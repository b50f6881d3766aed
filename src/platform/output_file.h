// The output file: payload bytes are gathered in a buffer of 1 MiB and handed
// to the system in large sequential writes.
#pragma once

#include <cstdint>

struct OutputFile;

constexpr uint32_t kOutputBufferSize = 1 << 20;

// Allocates the buffer, then creates path, or truncates an existing file to
// length 0, for writing; other processes may read it. Null on failure, and
// then an existing file is untouched unless its creation was attempted.
OutputFile* outputCreate(const char* path);

// Room for n bytes (n at most kOutputBufferSize) after the buffered ones, to
// be filled and then appended with outputCommit. Null when the write that
// made the room failed or made no progress; what the system accepted before
// the failure stays in the file.
uint8_t* outputReserve(OutputFile* output, uint32_t n);
void outputCommit(OutputFile* output, uint32_t n);

// Hands every buffered byte to the system. False as for outputReserve.
bool outputFlush(OutputFile* output);

// Flushes, closes and frees the output. False when the flush or the close
// failed (deferred write errors surface at the close).
bool outputClose(OutputFile* output);
