#include "output/output_file.h"

static_assert(OutputFile::kBufferSize >= kLargestPayload, "the largest payload fits a buffer");

namespace {
// Small: the writer only calls the system's write.
constexpr size_t kWriterStack = 256 << 10;
}  // namespace

Owned<OutputFile> OutputFile::create(const char* path) {
  // The buffers first: a run that cannot have them leaves an existing file
  // as it was. The writer starts once there is a file to write.
  Owned<OutputFile> output = memoryNew<OutputFile>();
  if (!output) return nullptr;
  output->file_ = output->ops_.create(path);
  if (output->file_ == kNoFile) return nullptr;
  output->threaded_ = output->startWriter();
  return output;
}

OutputFile::~OutputFile() {
  if (threaded_) {
    pthread_mutex_lock(&lock_);
    ending_ = true;
    pthread_cond_broadcast(&changed_);
    pthread_mutex_unlock(&lock_);
    pthread_join(writer_, nullptr);
  }
  if (file_ != kNoFile) ops_.close(file_);
}

void* OutputFile::writeHanded(void* context) {
  auto* output = static_cast<OutputFile*>(context);
  pthread_mutex_lock(&output->lock_);
  for (;;) {
    while (!output->handed_ && !output->ending_) {
      pthread_cond_wait(&output->changed_, &output->lock_);
    }
    if (!output->handed_) break;
    const uint8_t* data = output->handed_;
    const uint32_t n = output->handedSize_;
    pthread_mutex_unlock(&output->lock_);
    const bool written = fileWriteAll(output->ops_, output->file_, data, n);
    pthread_mutex_lock(&output->lock_);
    output->failed_ = output->failed_ || !written;
    output->handed_ = nullptr;
    pthread_cond_broadcast(&output->changed_);
  }
  pthread_mutex_unlock(&output->lock_);
  return nullptr;
}

bool OutputFile::startWriter() {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_attr_setstacksize(&attributes, kWriterStack);
  const bool started = pthread_create(&writer_, &attributes, writeHanded, this) == 0;
  pthread_attr_destroy(&attributes);
  return started;
}

// Waits until the writer holds no buffer; under lock.
void OutputFile::waitForWriter() {
  while (handed_) pthread_cond_wait(&changed_, &lock_);
}

// Hands the filled bytes over and fills the other buffer. False when a write
// is known to have failed: one before, or without the writer thread this one.
bool OutputFile::handOver() {
  const uint8_t* const data = filling_;
  const uint32_t n = used_;
  // After a failure the rest cannot be written either; it is not tried again.
  used_ = 0;
  if (!threaded_) {
    failed_ = failed_ || !fileWriteAll(ops_, file_, data, n);
    return !failed_;
  }
  pthread_mutex_lock(&lock_);
  waitForWriter();
  const bool written = !failed_;
  if (written && n > 0) {
    handed_ = data;
    handedSize_ = n;
    pthread_cond_broadcast(&changed_);
    filling_ = data == buffers_[0] ? buffers_[1] : buffers_[0];
  }
  pthread_mutex_unlock(&lock_);
  return written;
}

// Waits until every buffer handed over has been written. False when a write
// failed.
bool OutputFile::settled() {
  if (!threaded_) return !failed_;
  pthread_mutex_lock(&lock_);
  waitForWriter();
  const bool written = !failed_;
  pthread_mutex_unlock(&lock_);
  return written;
}

uint8_t* OutputFile::reserve(uint32_t n) {
  if (n > kBufferSize - used_ && !handOver()) return nullptr;
  return filling_ + used_;
}

bool OutputFile::flush() { return handOver() && settled(); }

bool OutputFile::close() {
  const bool flushed = flush();
  const bool closed = ops_.close(file_);
  file_ = kNoFile;
  return flushed && closed;
}
