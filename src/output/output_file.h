// The output file: payload bytes are gathered in a buffer of 1 MiB and handed
// to the system in large sequential writes. A writer thread writes each full
// buffer while the next one fills, so that the writes overlap the scan; the
// writes and their order are what one thread would make, and flush() waits
// for them.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "burst/burst_extractor.h"
#include "platform/memory.h"
#include "platform/system.h"

class OutputFile final : public OutputSink {
 public:
  // Allocates the buffers, then creates path, or truncates an existing file
  // to length 0, for writing; other processes may read it. Null on failure,
  // and then an existing file is untouched unless its creation was
  // attempted.
  static Owned<OutputFile> create(const char* path);
  // Stops the writer thread, and closes the file unless close() did.
  ~OutputFile() override;

  // A full buffer is handed over to be written first. Null when a write has
  // failed (or made no progress): this one, found at once without the
  // writer thread, or one before; what the system accepted before the
  // failure stays in the file, and nothing more is written.
  uint8_t* reserve(uint32_t n) override;
  void commit(uint32_t n) override { used_ += n; }
  bool flush() override;

  // Flushes and closes the file. False when the flush or the close failed
  // (deferred write errors surface at the close). Once only.
  bool close();

  static constexpr uint32_t kBufferSize = 1 << 20;

 private:
  static void* writeHanded(void* output);
  bool startWriter();
  void waitForWriter();
  bool handOver();
  bool settled();

  const SystemOps& ops_ = systemOps();  // those of the file's creation
  FileHandle file_ = kNoFile;
  uint8_t* filling_ = buffers_[0];  // the buffer that payloads go into
  uint32_t used_ = 0;
  // The writer thread writes one buffer while the other fills. Without one
  // (it could not be started) each buffer is written when it is handed over.
  bool threaded_ = false;
  pthread_t writer_;
  pthread_mutex_t lock_ = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed_ = PTHREAD_COND_INITIALIZER;
  // Under lock while the writer runs: the buffer handed over and not yet
  // written, or null; whether a write has failed (then nothing more is
  // written); whether the writer is to end.
  const uint8_t* handed_ = nullptr;
  uint32_t handedSize_ = 0;
  bool failed_ = false;
  bool ending_ = false;
  uint8_t buffers_[2][kBufferSize];
};
