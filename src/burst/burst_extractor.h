// The extraction loop: reads the PCM byte stream from an open WavReader in
// blocks, finds IEC 61937 burst headers at every byte offset, reports them on
// standard output and writes each payload, byte-swapped to big-endian order,
// to the output. Bursts and words cut by a block end are joined.
#pragma once

#include "platform/output_file.h"
#include "wav/wav_reader.h"

enum class ExtractResult { ended, readFailed, writeFailed };

// ended: the data ran out and the summary line was printed (every byte handed
// to the output has been flushed). readFailed / writeFailed: the loop stopped
// at once; what was written before stays.
// The diagnostic variant also traces every read, header and write, and
// reports every header found.
template <bool kDiagnostic>
ExtractResult extractBursts(WavReader& reader, OutputFile* output);

extern template ExtractResult extractBursts<false>(WavReader&, OutputFile*);
extern template ExtractResult extractBursts<true>(WavReader&, OutputFile*);
