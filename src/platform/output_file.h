// The output file: payload bytes are gathered in a buffer of 1 MiB and handed
// to the system in large sequential writes. A writer thread writes each full
// buffer while the next one fills, so that the writes overlap the scan; the
// writes and their order are what one thread would make. Whoever must not
// run ahead of the writes (a report line) flushes first.
#pragma once

#include <cstdint>

struct OutputFile;

constexpr uint32_t kOutputBufferSize = 1 << 20;

// Allocates the buffer, then creates path, or truncates an existing file to
// length 0, for writing; other processes may read it. Null on failure, and
// then an existing file is untouched unless its creation was attempted.
OutputFile* outputCreate(const char* path);

// Room for n bytes (n at most kOutputBufferSize) after the buffered ones, to
// be filled and then appended with outputCommit. A full buffer is handed over
// to be written first. Null when a write has failed (or made no progress):
// this one, found at once without the writer thread, or one before; what the
// system accepted before the failure stays in the file, and nothing more is
// written.
uint8_t* outputReserve(OutputFile* output, uint32_t n);
void outputCommit(OutputFile* output, uint32_t n);

// Hands every buffered byte to the system and waits until it is written.
// False when a write failed.
bool outputFlush(OutputFile* output);

// Flushes, closes and frees the output. False when the flush or the close
// failed (deferred write errors surface at the close).
bool outputClose(OutputFile* output);
