// The progress line's layout, for the sizes, times and widths set here.
#include "driver/progress_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kGiB = int64_t{1} << 30;

TEST(ProgressLine, LayoutFitsTheWidth) {
  const struct {
    int64_t bytes, size, elapsedMs;
    int width;  // 0: unknown
    const char* text;
  } rows[] = {
      {0, 5 * kGiB, 2000, 0, "0.0 MiB / 5.00 GiB  0%  0.0 MiB/s  -:--"},
      {10 * kMiB, 100 * kMiB, 0, 0, "10.0 MiB / 100.0 MiB  10%  0.0 MiB/s  -:--"},
      {100 * kMiB, 100 * kMiB, 2000, 0, "100.0 MiB / 100.0 MiB  100%  50.0 MiB/s  0:00"},
      {100 * kMiB - 1, 100 * kMiB, 2000, 0, "100.0 MiB / 100.0 MiB  99%  50.0 MiB/s  0:00"},
      // Past the size (the input grew) and with no size: bytes and rate.
      {110 * kMiB, 100 * kMiB, 2000, 0, "110.0 MiB  55.0 MiB/s"},
      {3 * kGiB, 0, 60000, 60, "3.00 GiB  51.2 MiB/s"},
      {3 * kGiB, -1, 60000, 9, "3.00 GiB"},
      {3 * kGiB, -1, 60000, 8, ""},
      // Past 4 GiB, with fields dropped as the width shrinks.
      {9 * kGiB / 2, 9 * kGiB, 30000, 60, "4.50 GiB / 9.00 GiB  50%  153.6 MiB/s  0:30"},
      {9 * kGiB / 2, 9 * kGiB, 30000, 44, "4.50 GiB / 9.00 GiB  50%  153.6 MiB/s  0:30"},
      {9 * kGiB / 2, 9 * kGiB, 30000, 43, "50%  153.6 MiB/s  0:30"},
      {9 * kGiB / 2, 9 * kGiB, 30000, 22, "50%  0:30"},
      {9 * kGiB / 2, 9 * kGiB, 30000, 9, "50%"},
      {9 * kGiB / 2, 9 * kGiB, 30000, 3, ""},
      {9 * kGiB / 2, 9 * kGiB, 30000, 1, ""},
      {5 * kGiB + 1, 5 * kGiB + 2, 1000, 0, "5.00 GiB / 5.00 GiB  99%  5120.0 MiB/s  0:00"},
      // The time left to the nearest second (29.6 s), a GiB read exactly.
      {10 * kMiB, 306 * kMiB, 1000, 0, "10.0 MiB / 306.0 MiB  3%  10.0 MiB/s  0:30"},
      {kGiB, 2 * kGiB, 1000, 0, "1.00 GiB / 2.00 GiB  50%  1024.0 MiB/s  0:01"},
      // Minutes past the hour, and a time too long to mean anything.
      {kMiB, 10 * kGiB, 1000, 0, "1.0 MiB / 10.00 GiB  0%  1.0 MiB/s  170:39"},
      {1, 20 * kGiB, 10000, 0, "0.0 MiB / 20.00 GiB  0%  0.0 MiB/s  -:--"},
  };
  for (const auto& row : rows) {
    char text[128];
    const size_t n = progressText(text, sizeof text, row.bytes, row.size, row.elapsedMs, row.width);
    const std::string what = std::to_string(row.bytes) + " of " + std::to_string(row.size) +
                             " at " + std::to_string(row.width);
    EXPECT_STREQ(text, row.text) << what;
    EXPECT_EQ(n, std::strlen(text)) << what;
    EXPECT_LE(n, size_t(row.width > 0 ? row.width - 1 : 79)) << what;
  }
  // The buffer bounds the line too.
  char small[12];
  EXPECT_EQ(progressText(small, sizeof small, 9 * kGiB / 2, 9 * kGiB, 30000, 60), 9u);
  EXPECT_STREQ(small, "50%  0:30");
}

}  // namespace
