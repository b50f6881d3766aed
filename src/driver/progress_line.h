// The progress line's text: how far a run has got through its input, laid
// out for a terminal of a given width. Arithmetic only: the caller reads the
// clock and draws the text.
#pragma once

#include <cstddef>
#include <cstdint>

// Puts the line for bytes read of size, elapsedMs after the start, into out
// (room bytes, NUL-terminated) and gives its length: at most width - 1
// characters, 79 where the width is 0 (unknown), and 0 when not even the
// shortest layout fits. ASCII, numbers and units only:
//   "812.4 MiB / 4.66 GiB  17%  93.2 MiB/s  0:42"
// with fewer fields where the width is short. Where the size is unknown
// (0 or less) or bytes have gone past it (the input grew), the bytes and the
// rate alone: "5.21 GiB  93.2 MiB/s".
size_t progressText(char* out, size_t room, int64_t bytes, int64_t size, int64_t elapsedMs,
                    int width);
