#include "platform/output_file.h"

#include <new>

#include "platform/file_io.h"

struct OutputFile {
  SystemFile* file;
  uint32_t used;
  uint8_t buffer[kOutputBufferSize];
};

OutputFile* outputCreate(const char* path) {
  // The buffer first: a run that cannot have it leaves an existing file as
  // it was.
  auto* output = new (std::nothrow) OutputFile;
  if (!output) return nullptr;
  output->file = fileOps->create(path);
  if (!output->file) {
    delete output;
    return nullptr;
  }
  output->used = 0;
  return output;
}

bool outputFlush(OutputFile* output) {
  const bool written = fileWriteAll(output->file, output->buffer, output->used);
  // After a failure the rest cannot be written either; it is not tried again.
  output->used = 0;
  return written;
}

uint8_t* outputReserve(OutputFile* output, uint32_t n) {
  if (n > kOutputBufferSize - output->used && !outputFlush(output)) return nullptr;
  return output->buffer + output->used;
}

void outputCommit(OutputFile* output, uint32_t n) { output->used += n; }

bool outputClose(OutputFile* output) {
  const bool flushed = outputFlush(output);
  const bool closed = fileOps->close(output->file);
  delete output;
  return flushed && closed;
}
