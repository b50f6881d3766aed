// sarvik: extracts the IEC 61937 bitstream carried in a 2-channel 16-bit PCM
// WAV file. Built with SARVIK_DIAGNOSTIC=1 it is sarvikd, which also traces
// every read, burst header and write.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "burst/burst_extractor.h"
#include "driver/input_source.h"
#include "output/output_file.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "wav/little_endian.h"
#include "wav/wav_reader.h"
#include "wav/wave_format.h"

#ifdef _WIN32
#include "platform/win32_text.h"
#endif

#ifndef SARVIK_DIAGNOSTIC
#define SARVIK_DIAGNOSTIC 0
#endif

namespace {

constexpr bool kDiagnostic = SARVIK_DIAGNOSTIC != 0;

enum class Failure {
  none,
  interrupted,  // ends without a message
  inputNotOpened,
  floatFormat,
  notLinearPcm,
  notStereo16,
  outputNotCreated,
  readError,
  writeError,
  outOfMemory,
  count,
};

// The usage comes in two parts around the program's name, which is the
// user's own text:
// "引数が不正です。\nusage: %s [input file] [output file]\n"
constexpr char kUsageBeforeName[] =
    "\x88\xf8\x90\x94\x82\xaa\x95s\x90\xb3\x82\xc5\x82\xb7\x81"
    "B\nusage: ";
constexpr char kUsageAfterName[] = " [input file] [output file]\n";
// The failure messages, as the Shift_JIS bytes printed, each in readable
// form above it (HACKING.md has the recipe for a new one); none and an
// interrupt print nothing.
constexpr const char* kFailures[] = {
    "",
    "",
    // "読み取りファイルが開けませんでした。\n"
    "\x93\xc7\x82\xdd\x8e\xe6\x82\xe8\x83t\x83@\x83"
    "C\x83\x8b\x82\xaa\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B\n",
    // "32bit float形式のwavファイルはサポートしていません。\n"
    "32bit float\x8c`\x8e\xae\x82\xccwav\x83t\x83@\x83"
    "C\x83\x8b\x82\xcd\x83T\x83|\x81[\x83g\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n",
    // "Linear PCMのwavファイルではありません。\n"
    "Linear PCM\x82\xccwav\x83t\x83@\x83"
    "C\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n",
    // "2ch 16bitのwavファイルではありません。\n"
    "2ch 16bit\x82\xccwav\x83t\x83@\x83"
    "C\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n",
    // "書き込みファイルが開けませんでした。\n"
    "\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x83t\x83@\x83"
    "C\x83\x8b\x82\xaa\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B\n",
    // "読み取りエラーです\n"
    "\x93\xc7\x82\xdd\x8e\xe6\x82\xe8\x83G\x83\x89\x81[\x82\xc5\x82\xb7\n",
    // "書き込みエラーです\n"
    "\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x83G\x83\x89\x81[\x82\xc5\x82\xb7\n",
    // "メモリが足りません。\n"
    "\x83\x81\x83\x82\x83\x8a\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42\n",
};

static_assert(sizeof kFailures / sizeof *kFailures == static_cast<size_t>(Failure::count),
              "one message for each failure");

// An extensible record is linear PCM where its SubFormat says so, and is
// then checked as one of tag 1.
Failure checkFormat(const uint8_t* format, uint32_t size) {
  const uint16_t tag = readLe16(format + wave::kFormatTagOffset);
  if (tag == wave::kTagFloat) return Failure::floatFormat;
  const bool pcmExtensible =
      tag == wave::kTagExtensible && size >= wave::kExtensibleSize &&
      std::equal(std::begin(wave::kPcmSubFormat), std::end(wave::kPcmSubFormat),
                 format + wave::kSubFormatOffset);
  if (tag != wave::kTagPcm && !pcmExtensible) return Failure::notLinearPcm;
  if (readLe16(format + wave::kChannelsOffset) != 2 ||
      readLe16(format + wave::kBitsPerSampleOffset) != 16) {
    return Failure::notStereo16;
  }
  return Failure::none;
}

// The report goes to standard output, as a terminal shows it or as it is.
class StandardOutput final : public ReportSink {
  void line(const char* text, size_t n) override { textWrite(stdout, text, n); }
};

// Creates the output, runs the extraction and closes the output again.
// Everything the run needs is allocated before the output is created, so a
// run that fails for want of memory leaves an existing file as it was.
Failure extractTo(WavReader& reader, const char* inputPath, const char* outputPath) {
  InputSource source(reader);
  if (!source.allocated()) return Failure::outOfMemory;
  // Creating the input itself would truncate it before a byte was read.
  if (systemOps().sameFile(inputPath, outputPath)) return Failure::outputNotCreated;
  // Nor is an existing output lost to an interrupt that came before the
  // extraction began.
  if (interruptCame()) return Failure::interrupted;
  const Owned<OutputFile> output = OutputFile::create(outputPath);
  if (!output) return Failure::outputNotCreated;
  StandardOutput report;
  const ExtractResult result = extractBursts<kDiagnostic>(source, kBlockSize, *output, report);
  const bool closed = output->close();
  if (result == ExtractResult::readFailed) return Failure::readError;
  if (result == ExtractResult::writeFailed || !closed) return Failure::writeError;
  return result == ExtractResult::stopped ? Failure::interrupted : Failure::none;
}

// The whole run. Resources are released in a fixed order on every path: the
// output (inside extractTo), the reader, then the format copy.
Failure run(const char* inputPath, const char* outputPath) {
  Owned<uint8_t> formatCopy;
  Owned<WavReader> reader = memoryNew<WavReader>();
  if (!reader) return Failure::outOfMemory;
  if (reader->open(inputPath) < 0) return Failure::inputNotOpened;

  // formatSize() never exceeds the reader's block, and is at least 18.
  const uint32_t formatSize = reader->formatSize();
  formatCopy = memoryBytes(formatSize);
  if (!formatCopy) return Failure::outOfMemory;
  std::copy(reader->format(), reader->format() + formatSize, formatCopy.get());

  const Failure format = checkFormat(formatCopy.get(), formatSize);
  if (format != Failure::none) return format;
  if (reader->seekData(0) < 0) return Failure::readError;
  return extractTo(*reader, inputPath, outputPath);
}

// The program, over its arguments: narrow strings, WTF-8 on Windows.
int sarvik(int argc, char** argv) {
  setSystemOps(kProgramOps);
  prepareProcess();
  terminalSetUp();
  if (argc != 3) {
    textWrite(stderr, kUsageBeforeName);
    nameWrite(stderr, argc > 0 ? argv[0] : "sarvik");
    textWrite(stderr, kUsageAfterName);
    return 1;
  }
  Failure failure = run(argv[1], argv[2]);
  progressErase();
  fflush(nullptr);  // every stream: the report so far comes before the failure message
  // Once an interrupt has come, nothing more is printed, whatever the run
  // met after it: everything is released and written, and the interrupt
  // ends the process.
  if (interruptCame()) endByInterrupt();
  // A block that could not be had is the cause, whichever step gave up.
  if (failure != Failure::none && memoryRanOut()) failure = Failure::outOfMemory;
  textWrite(stderr, kFailures[static_cast<int>(failure)]);
  return failure == Failure::none ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
// Windows hands the command line over as UTF-16: taken as WTF-8 from there,
// every file name reaches the W calls as the user typed it, even one that
// is no valid UTF-16. The program reads three arguments at most (with any
// other count, the first alone); the command line is at most kWideRoom
// units, so they fit here.
int wmain(int argc, wchar_t** argv) {
  static char text[3 * kWideRoom + 3];
  char* arguments[4] = {};
  size_t used = 0;
  for (int i = 0; i < argc && i < 3; ++i) {
    char* at = text + used;
    arguments[i] = at;
    const long n = wtf8FromWide(argv[i], at, sizeof text - used);
    if (n < 0) *at = '\0';  // beyond the system's limit: an empty name, which is refused
    used += static_cast<size_t>(n < 0 ? 0 : n) + 1;
  }
  return sarvik(argc, arguments);
}
#else
int main(int argc, char** argv) { return sarvik(argc, argv); }
#endif
