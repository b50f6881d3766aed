// The report and trace lines of the extraction, as the Shift_JIS bytes
// printed. Each text stands in readable form in the comment above its bytes;
// a literal is split where a hex escape would otherwise swallow the
// character after it. HACKING.md has the recipe for a new one.
#pragma once

namespace text {

// "%lldつ目のヘッダが%lldバイト目に見つかりました。\n"
constexpr char kHeaderFound[] =
    "%lld\x82\xc2\x96\xda\x82\xcc\x83w\x83"
    "b\x83_\x82\xaa%lld\x83o\x83"
    "C\x83g\x96\xda\x82\xc9\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\n";
// "データタイプ: "
constexpr char kDataType[] =
    "\x83"
    "f\x81[\x83^\x83^\x83"
    "C\x83v: ";
// "最終フレームは途切れています。\n"
constexpr char kTruncated[] =
    "\x8d\xc5\x8fI\x83t\x83\x8c\x81[\x83\x80\x82\xcd\x93r\x90\xd8\x82\xea\x82\xc4\x82\xa2\x82\xdc"
    "\x82\xb7\x81"
    "B\n";
// "ビットストリーム: %lldフレーム, %lldバイト\n"
constexpr char kSummary[] =
    "\x83r\x83"
    "b\x83g\x83X\x83g\x83\x8a\x81[\x83\x80: %lld\x83t\x83\x8c\x81[\x83\x80, "
    "%lld\x83o\x83"
    "C\x83g\n";

// Labels of the data types 0 to 13 (the low 5 bits of Pc); the rest are
// unknown, as 10 is.
constexpr const char* kTypeLabels[] = {
    "Null burst\n",
    "Dolby Digital (AC-3)\n",
    ("\x83^\x83"
     "C\x83\x80\x83X\x83^\x83\x93\x83v\n"),  // "タイムスタンプ\n", in two literals
    "\x83|\x81[\x83Y\n",                     // "ポーズ\n"
    "MPEG-1 Audio Layer-1\n",
    "MPEG-1 Audio Layer-2\n",
    "MPEG-1 Audio Layer-3 ?\n",
    "MPEG-2 AAC\n",
    "MPEG-1 Audio Layer-1 low frequency\n",
    "MPEG-2 Audio\n",
    "\x95s\x96\xbe\n",  // "不明\n"
    "dts-1 (512-sample bursts)\n",
    "dts-2 (1024-sample bursts)\n",
    "dts-3 (2048-sample bursts)\n",
};
constexpr int kUnknownType = 10;

inline const char* typeLabel(int type) {
  return kTypeLabels[type < int(sizeof kTypeLabels / sizeof *kTypeLabels) ? type : kUnknownType];
}

// Diagnostic trace lines.
constexpr char kTraceRead[] = "read data: %dbyte\n";
constexpr char kTraceRemaining[] = "write remaining frame data: %dbyte / offset=%lld (%llx)\n";
constexpr char kTraceHeader[] = "data_type=%02x%02x length=%d | ";
constexpr char kTraceWrite[] = "write data: %dbyte / offset=%lld (%llx)\n";

}  // namespace text
