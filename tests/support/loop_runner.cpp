#include "loop_runner.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace testsupport {

namespace {

class ScriptedSource final : public BlockSource {
 public:
  ScriptedSource(const Bytes& stream, const Reads& reads, std::vector<long long>* readEnds)
      : stream_(stream), reads_(reads), readEnds_(readEnds) {}

  int32_t next(int32_t wanted, const uint8_t** at) override {
    const int call = calls_++;
    if (call == reads_.failing) return -1;
    size_t n = std::min(size_t(wanted), stream_.size() - pos_);
    if (!reads_.sizes.empty()) n = std::min(n, size_t(reads_.sizes[call % reads_.sizes.size()]));
    const size_t history = std::min<size_t>(16, pos_);
    block_.reset(new uint8_t[history + n]);
    std::memcpy(block_.get(), stream_.data() + pos_ - history, history + n);
    *at = block_.get() + history;
    pos_ += n;
    if (n > 0) readEnds_->push_back((long long)pos_);
    return int32_t(n);
  }

 private:
  const Bytes& stream_;
  const Reads& reads_;
  std::vector<long long>* readEnds_;
  std::unique_ptr<uint8_t[]> block_;
  size_t pos_ = 0;
  int calls_ = 0;
};

// Payloads are appended to pending and written to the output only at a
// flush: the output takes what fits before failWriteAt, as a full disk
// does, and then fails.
class MemorySink final : public OutputSink {
 public:
  MemorySink(Bytes* output, long long failWriteAt) : output_(output), failWriteAt_(failWriteAt) {}
  uint8_t* reserve(uint32_t n) override {
    if (failed_) return nullptr;
    pending_.resize(used_ + n);
    return reinterpret_cast<uint8_t*>(&pending_[used_]);
  }
  void commit(uint32_t n) override { used_ += n; }
  bool flush() override {
    size_t n = used_;
    if (failWriteAt_ >= 0)
      n = std::min(n, size_t(std::max(0LL, failWriteAt_ - (long long)output_->size())));
    output_->append(pending_, 0, n);
    failed_ = failed_ || n < used_;
    used_ = 0;
    return !failed_;
  }

 private:
  Bytes* output_;
  long long failWriteAt_;
  Bytes pending_;
  size_t used_ = 0;
  bool failed_ = false;
};

class StringSink final : public ReportSink {
 public:
  explicit StringSink(std::string* text) : text_(text) {}
  void line(const char* text, size_t n) override { text_->append(text, n); }

 private:
  std::string* text_;
};

}  // namespace

LoopRun runLoop(const Bytes& stream, int32_t blockSize, const Reads& reads, bool diagnostic) {
  LoopRun run;
  ScriptedSource source(stream, reads, &run.readEnds);
  MemorySink output(&run.output, reads.failWriteAt);
  StringSink report(&run.report);
  run.result = diagnostic ? extractBursts<true>(source, blockSize, output, report)
                          : extractBursts<false>(source, blockSize, output, report);
  return run;
}

}  // namespace testsupport
