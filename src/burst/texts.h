// Every text the programs print, as the Shift_JIS bytes they print: the
// report and trace lines of the extraction and the driver's messages. Each
// text stands in readable form in the comment above its bytes; a literal is
// split where a hex escape would otherwise swallow the character after it.
// HACKING.md has the recipe for a new one.
#pragma once

namespace text {

// The report and its trace.

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

// The driver's messages. The usage comes in two parts around the program's
// name, which is the user's own text:
// "引数が不正です。\nusage: %s [input file] [output file]\n"
constexpr char kUsageBeforeName[] =
    "\x88\xf8\x90\x94\x82\xaa\x95s\x90\xb3\x82\xc5\x82\xb7\x81"
    "B\nusage: ";
constexpr char kUsageAfterName[] = " [input file] [output file]\n";
// The driver's failure messages, in the order of its Failure: none and an
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

}  // namespace text
