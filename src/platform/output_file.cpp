#include "platform/output_file.h"

#include <pthread.h>

#include <new>

#include "platform/file_io.h"

struct OutputFile {
  SystemFile* file;
  uint8_t* filling;  // the buffer that payloads go into
  uint32_t used;
  // The writer thread writes one buffer while the other fills. Without one
  // (it could not be started) each buffer is written when it is handed over.
  bool threaded;
  pthread_t writer;
  pthread_mutex_t lock;
  pthread_cond_t changed;
  // Under lock while the writer runs: the buffer handed over and not yet
  // written, or null; whether a write has failed (then nothing more is
  // written); whether the writer is to end.
  const uint8_t* handed;
  uint32_t handedSize;
  bool failed;
  bool ending;
  uint8_t buffers[2][kOutputBufferSize];
};

namespace {

// Small: the writer only calls the system's write.
constexpr size_t kWriterStack = 256 << 10;

void* writeHanded(void* context) {
  auto* output = static_cast<OutputFile*>(context);
  pthread_mutex_lock(&output->lock);
  for (;;) {
    while (!output->handed && !output->ending) pthread_cond_wait(&output->changed, &output->lock);
    if (!output->handed) break;
    const uint8_t* data = output->handed;
    const uint32_t n = output->handedSize;
    pthread_mutex_unlock(&output->lock);
    const bool written = fileWriteAll(output->file, data, n);
    pthread_mutex_lock(&output->lock);
    output->failed = output->failed || !written;
    output->handed = nullptr;
    pthread_cond_broadcast(&output->changed);
  }
  pthread_mutex_unlock(&output->lock);
  return nullptr;
}

bool startWriter(OutputFile* output) {
  if (pthread_mutex_init(&output->lock, nullptr) != 0) return false;
  pthread_attr_t attributes;
  bool started = false;
  if (pthread_cond_init(&output->changed, nullptr) == 0) {
    if (pthread_attr_init(&attributes) == 0) {
      pthread_attr_setstacksize(&attributes, kWriterStack);
      started = pthread_create(&output->writer, &attributes, writeHanded, output) == 0;
      pthread_attr_destroy(&attributes);
    }
    if (!started) pthread_cond_destroy(&output->changed);
  }
  if (!started) pthread_mutex_destroy(&output->lock);
  return started;
}

void stopWriter(OutputFile* output) {
  pthread_mutex_lock(&output->lock);
  output->ending = true;
  pthread_cond_broadcast(&output->changed);
  pthread_mutex_unlock(&output->lock);
  pthread_join(output->writer, nullptr);
  pthread_cond_destroy(&output->changed);
  pthread_mutex_destroy(&output->lock);
}

// Waits until the writer holds no buffer; under lock.
void waitForWriter(OutputFile* output) {
  while (output->handed) pthread_cond_wait(&output->changed, &output->lock);
}

// Hands the filled bytes over and fills the other buffer. False when a write
// is known to have failed: one before, or without the writer thread this one.
bool handOver(OutputFile* output) {
  const uint8_t* const data = output->filling;
  const uint32_t n = output->used;
  // After a failure the rest cannot be written either; it is not tried again.
  output->used = 0;
  if (!output->threaded) {
    output->failed = output->failed || !fileWriteAll(output->file, data, n);
    return !output->failed;
  }
  pthread_mutex_lock(&output->lock);
  waitForWriter(output);
  const bool written = !output->failed;
  if (written && n > 0) {
    output->handed = data;
    output->handedSize = n;
    pthread_cond_broadcast(&output->changed);
    output->filling = data == output->buffers[0] ? output->buffers[1] : output->buffers[0];
  }
  pthread_mutex_unlock(&output->lock);
  return written;
}

}  // namespace

OutputFile* outputCreate(const char* path) {
  // The buffers and the writer first: a run that cannot have the buffers
  // leaves an existing file as it was.
  auto* output = new (std::nothrow) OutputFile;
  if (!output) return nullptr;
  output->filling = output->buffers[0];
  output->used = 0;
  output->handed = nullptr;
  output->failed = output->ending = false;
  output->threaded = startWriter(output);
  output->file = fileOps->create(path);
  if (!output->file) {
    if (output->threaded) stopWriter(output);
    delete output;
    return nullptr;
  }
  return output;
}

uint8_t* outputReserve(OutputFile* output, uint32_t n) {
  if (n > kOutputBufferSize - output->used && !handOver(output)) return nullptr;
  return output->filling + output->used;
}

void outputCommit(OutputFile* output, uint32_t n) { output->used += n; }

namespace {

// Waits until every buffer handed over has been written. False when a write
// failed.
bool outputSettled(OutputFile* output) {
  if (!output->threaded) return !output->failed;
  pthread_mutex_lock(&output->lock);
  waitForWriter(output);
  const bool written = !output->failed;
  pthread_mutex_unlock(&output->lock);
  return written;
}

}  // namespace

bool outputFlush(OutputFile* output) { return handOver(output) && outputSettled(output); }

bool outputClose(OutputFile* output) {
  const bool flushed = outputFlush(output);
  if (output->threaded) stopWriter(output);
  const bool closed = fileOps->close(output->file);
  delete output;
  return flushed && closed;
}
