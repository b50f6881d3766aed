#include "loop_runner.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "platform/file_io.h"

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

// The output in memory: the runner puts these operations in place of the
// system's for the run.
std::string* memoryOutput = nullptr;
long long failWriteAt = -1;
SystemFile* createInMemory(const char*) { return reinterpret_cast<SystemFile*>(memoryOutput); }
// Takes what fits before failWriteAt, as a full disk does, then fails.
long writeToMemory(SystemFile*, const void* data, uint32_t n) {
  long long room = failWriteAt < 0 ? n : failWriteAt - (long long)memoryOutput->size();
  if (room <= 0) return -1;
  n = uint32_t(std::min<long long>(n, room));
  memoryOutput->append(static_cast<const char*>(data), n);
  return long(n);
}
bool closeMemory(SystemFile*) { return true; }

}  // namespace

LoopRun runLoop(const Bytes& stream, int32_t blockSize, const Reads& reads, bool diagnostic) {
  static const TempDir dir;  // one report file for the process: runs come one after another
  static FILE* const report = std::fopen((dir / "report").c_str(), "w+b");
  if (!report) throw std::runtime_error("report file");
  LoopRun run;
  FileOps memory = *fileOps;
  memory.create = createInMemory;
  memory.writeSome = writeToMemory;
  memory.close = closeMemory;
  memoryOutput = &run.output;
  failWriteAt = reads.failWriteAt;
  const FileOps* const saved = fileOps;
  fileOps = &memory;
  ScriptedSource source(stream, reads, &run.readEnds);
  OutputFile* output = outputCreate("memory");
  std::rewind(report);
  run.result = diagnostic ? extractBursts<true>(source, blockSize, output, report)
                          : extractBursts<false>(source, blockSize, output, report);
  outputClose(output);
  fileOps = saved;
  run.report.resize(size_t(std::ftell(report)));
  std::rewind(report);
  if (std::fread(run.report.data(), 1, run.report.size(), report) != run.report.size()) {
    throw std::runtime_error("report file");
  }
  return run;
}

}  // namespace testsupport
