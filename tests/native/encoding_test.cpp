#include <gtest/gtest.h>

#include <random>
#include <string>

#include "files/encoding.h"
#include "foundation/fault.h"
#include "foundation/platform.h"

namespace {

i64 Validate(const std::string &s) { return ValidateUtf8(reinterpret_cast<const u8 *>(s.data()), s.size()); }

TEST(Utf8, ValidationFollowsTheExactRules) {
  EXPECT_EQ(Validate(""), 0);
  EXPECT_EQ(Validate("plain ascii"), 0);
  EXPECT_EQ(Validate("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), 3);
  const char *invalid[] = {
      "\xC0\x80",          // overlong NUL
      "\xC1\xBF",          // overlong
      "\xE0\x80\x80",      // E0 needs A0 and above
      "\xE0\x9F\xBF",      //
      "\xED\xA0\x80",      // a surrogate
      "\xF0\x8F\xBF\xBF",  // F0 needs 90 and above
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // no such lead byte
      "\xFF",              //
      "\x80",              // a continuation byte alone
      "\xC3",              // cut off by the end
      "\xE2\x82",          //
      "\xC3\x41",          // not a continuation byte
  };
  for (const char *s : invalid) EXPECT_EQ(Validate(s), -1) << s;
  EXPECT_EQ(Validate("\xE0\xA0\x80"), 1);
  EXPECT_EQ(Validate("\xED\x9F\xBF"), 1);
  EXPECT_EQ(Validate("\xF0\x90\x80\x80"), 1);
  EXPECT_EQ(Validate("\xF4\x8F\xBF\xBF"), 1);
}

TEST(Utf8, NextCharacterRule) {
  const char *s = "\xC3\xA9x";
  EXPECT_EQ(NextCharacter(kCodePageUtf8, s), s + 2);
  const char *four = "\xF0\x9F\x98\x80";
  EXPECT_EQ(NextCharacter(kCodePageUtf8, four), four + 4);
  const char *cut = "\xE2\x82" "A";  // stops at a byte that does not continue
  EXPECT_EQ(NextCharacter(kCodePageUtf8, cut), cut + 2);
  const char *nul = "\xC3";
  EXPECT_EQ(NextCharacter(kCodePageUtf8, nul), nul + 1);
  const char *ff = "\xFF\x80";
  EXPECT_EQ(NextCharacter(kCodePageUtf8, ff), ff + 1);
  const char *lone = "\x80\x80";
  EXPECT_EQ(NextCharacter(kCodePageUtf8, lone), lone + 1);
}

DetectedEncoding Detect(const std::string &bytes, int forced = -1, u32 encode = 0, bool autoUni = false) {
  return DetectEncoding(reinterpret_cast<const u8 *>(bytes.data()), bytes.size(), forced, DetectOptions{encode, autoUni});
}

std::string Utf16(const std::string &ascii, bool bigEndian = false) {
  std::string out;
  for (char c : ascii) {
    std::string unit = {c, '\0'};
    if (bigEndian) std::swap(unit[0], unit[1]);
    out += unit;
  }
  return out;
}

TEST(Detection, MarksValidationAndDefaults) {
  DetectedEncoding d = Detect("\xEF\xBB\xBF");
  EXPECT_EQ(d.id, kEncodingUtf8);
  EXPECT_TRUE(d.bom);
  EXPECT_EQ(d.textOffset, 3u);
  d = Detect("\xFF\xFEh\0", 0);  // forced: nothing is skipped
  EXPECT_EQ(d.id, kEncodingAnsi);
  EXPECT_EQ(d.textOffset, 0u);
  d = Detect("\xFF\xFE" + Utf16("hi"));
  EXPECT_EQ(d.id, kEncodingUnicode);
  EXPECT_EQ(d.textOffset, 2u);
  EXPECT_FALSE(d.swap);
  d = Detect("\xFE\xFF" + Utf16("hi", true));
  EXPECT_EQ(d.id, kEncodingUnicodeBigEndian);
  EXPECT_TRUE(d.swap);
  d = Detect("abc", 3);
  EXPECT_EQ(d.id, kEncodingUnicodeBigEndian);
  EXPECT_TRUE(d.swap);
  EXPECT_EQ(Detect("\xEF\xBB").id, kEncodingAnsi);  // no third byte: not a mark, not UTF-8
  EXPECT_EQ(Detect("caf\xC3\xA9").id, kEncodingUtf8);
  EXPECT_FALSE(Detect("caf\xC3\xA9").bom);
  EXPECT_EQ(Detect("\xC0\x80").id, kEncodingAnsi);
  EXPECT_EQ(Detect("pure ascii").id, kEncodingAnsi);
  EXPECT_EQ(Detect("pure ascii", -1, 1).id, kEncodingUtf8);
  EXPECT_EQ(Detect("", -1, 1).id, kEncodingUtf8);
  EXPECT_EQ(Detect("caf\xE9").id, kEncodingAnsi);
}

TEST(Detection, StatisticsFindUtf16WithoutAMark) {
  std::string le = Utf16("Caf\xE9 au lait, tr\xE8s chaud, s'il vous pla\xEEt.");
  EXPECT_EQ(Detect(le).id, kEncodingAnsi);  // AutoUni off
  DetectedEncoding d = Detect(le, -1, 0, true);
  EXPECT_EQ(d.id, kEncodingUnicode);
#ifndef _WIN32
  // The test for the reverse byte order is missing from Wine's answer.
  std::string be = Utf16("Caf\xE9 au lait, tr\xE8s chaud, s'il vous pla\xEEt.", true);
  d = Detect(be, -1, 0, true);
  EXPECT_EQ(d.id, kEncodingUnicodeBigEndian);
  EXPECT_TRUE(d.swap);
#endif
  EXPECT_EQ(Detect(le + "x", -1, 0, true).id, kEncodingAnsi);  // odd size
  EXPECT_EQ(Detect("caf\xE9 na\xEFve text here!", -1, 0, true).id, kEncodingAnsi);
}

TEST(Detection, TheSystemTestAgreesOnPlainCases) {
  std::string le = Utf16("The quick brown fox jumps over the lazy dog");
  int flags = 938;
  EXPECT_TRUE(PlatIsTextUnicode(le.data(), static_cast<int>(le.size()), &flags));
  EXPECT_EQ(flags & 290, 2);
  std::string be = Utf16("The quick brown fox jumps over the lazy dog", true);
  flags = 938;
  PlatIsTextUnicode(be.data(), static_cast<int>(be.size()), &flags);
  EXPECT_NE(flags & 290, 2);
#ifndef _WIN32
  EXPECT_EQ(flags & 290, 32);
#endif
  std::string ansi = "The quick brown fox jumps over the lazy dog!";
  flags = 938;
  EXPECT_FALSE(PlatIsTextUnicode(ansi.data(), static_cast<int>(ansi.size()), &flags));
  EXPECT_NE(flags & 290, 2);
  EXPECT_NE(flags & 290, 32);
}

TEST(Newlines, DetectionAndTheDefaults) {
  auto type = [](const std::string &s, bool noMix = false) {
    return DetectNewlines(s.data(), s.size(), kNewlineUnix, noMix).type;
  };
  EXPECT_EQ(type("a\r\nb\r\n"), kNewlineWin);
  EXPECT_EQ(type("a\nb\n"), kNewlineUnix);
  EXPECT_EQ(type("a\rb"), kNewlineMac);
  EXPECT_EQ(type("a\r\nb\n"), kNewlineMixed);
  EXPECT_EQ(type("a\r\nb\r"), kNewlineMixed);
  EXPECT_EQ(type("a\r\nb\n", true), kNewlineUnix);  // the default
  EXPECT_EQ(type("no newline"), kNewlineUnix);
  EXPECT_EQ(type(""), kNewlineUnix);
  EXPECT_EQ(type("\n\r"), kNewlineMixed);
  NewlineScan scan = DetectNewlines("a\0b\0\r\n", 6, kNewlineWin, false);
  EXPECT_EQ(scan.nulCount, 2u);
  EXPECT_EQ(scan.type, kNewlineWin);
  EXPECT_EQ(NewlineFlagsForOutput(kNewlineWin), 3u);
  EXPECT_EQ(NewlineFlagsForOutput(kNewlineMixed), 0u);
  EXPECT_EQ(ReduceNewlineType(3, true), 0u);
  EXPECT_EQ(ReduceNewlineType(3, false), 3u);
  EXPECT_EQ(ReduceNewlineType(5, false), 1u);
}

TEST(EncodingState, RequestsChooseIdAndMark) {
  BuildCodePageList();
  ASSERT_GT(CodePageCount(), 0u);
  EncodingState st = {};
  ApplyEncodingRequest(&st, EncodingRequest(kEncodingUnicode, kBomDefault, 0), 0xFFFFFFFF);
  EXPECT_EQ(st.id, kEncodingUnicode);
  EXPECT_EQ(st.bomWanted, 1);
  EXPECT_EQ(st.bomInEffect, 1);
  ApplyEncodingRequest(&st, EncodingRequest(4, kBomDefault, kEncodingForced), 0xFFFFFFFF);
  EXPECT_EQ(st.id, 0u);  // no listed code page: modulo 4
  EXPECT_EQ(st.flags, kEncodingForced);
  ApplyEncodingRequest(&st, EncodingRequest(4, 1, 0), 0);
  EXPECT_EQ(st.id, kEncodingCodePage);
  EXPECT_EQ(st.bomWanted, 1);
  EXPECT_EQ(st.bomInEffect, 0);  // code pages have no mark
  ApplyEncodingRequest(&st, NextEncodingRequest(st), 0);
  EXPECT_EQ(st.id, kEncodingAnsi);  // 5 wraps to 0
  ApplyEncodingRequest(&st, EncodingRequest(kEncodingUtf8, kBomDefault, 0), 0);
  EXPECT_EQ(st.bomWanted, 0);
  ApplyEncodingRequest(&st, ToggleBomRequest(st), 0);
  EXPECT_EQ(st.bomInEffect, 1);
  EXPECT_STREQ(EncodingName(kEncodingUnicodeBigEndian, 0), "Unicode, Big Endian");
  EXPECT_STREQ(EncodingName(kEncodingCodePage, 0), CodePageName(0));
}

TEST(CodePages, ListedOnceWithNamesAndWithoutUtf8) {
  u32 n = BuildCodePageList();
  ASSERT_GT(n, 3u);
  EXPECT_LE(n, kMaxCodePages);
  bool has1251 = false;
  for (u32 i = 0; i < n; i++) {
    EXPECT_NE(CodePageNumber(i), 65001u);
    EXPECT_STRNE(CodePageName(i), "");
    has1251 = has1251 || CodePageNumber(i) == 1251;
  }
  EXPECT_TRUE(has1251);
  EXPECT_EQ(CodePageNumber(n), 0u);
  EXPECT_TRUE(IsMultiByteCodePage(932));
  EXPECT_FALSE(IsMultiByteCodePage(1251));
}

u32 IndexOf(u32 codePage) {
  BuildCodePageList();
  for (u32 i = 0; i < CodePageCount(); i++)
    if (CodePageNumber(i) == codePage) return i;
  return 0xFFFFFFFF;
}

std::string Convert(bool decode, u32 id, u32 cpIndex, const std::string &in, bool *lost = nullptr, int *result = nullptr) {
  ByteBuffer buf = {};
  EXPECT_TRUE(BufferAppend(&buf, in.data(), in.size()));
  bool untranslatable = false;
  int r = decode ? DecodeToAnsi(id, cpIndex, &buf, &untranslatable, nullptr)
                 : EncodeFromAnsi(id, cpIndex, &buf, &untranslatable, nullptr);
  if (result) *result = r;
  else EXPECT_EQ(r, 0);
  if (lost) *lost = untranslatable;
  std::string out(buf.data ? buf.data : "", buf.length);
  BufferFree(&buf);
  return out;
}

TEST(Conversion, EveryAnsiCharacterRoundTripsThroughEachEncoding) {
  std::string all;
  for (int c = 1; c < 256; c++) all += static_cast<char>(c);
  for (u32 id : {kEncodingUtf8, kEncodingUnicode, kEncodingUnicodeBigEndian}) {
    bool lost = true;
    std::string encoded = Convert(false, id, 0, all, &lost);
    EXPECT_FALSE(lost);
    EXPECT_EQ(Convert(true, id, 0, encoded, &lost), all) << id;
    EXPECT_FALSE(lost);
  }
  EXPECT_EQ(Convert(false, kEncodingUtf8, 0, "caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(Convert(false, kEncodingUnicodeBigEndian, 0, "A\x80"), std::string("\0A\x20\xAC", 4));
  EXPECT_EQ(Convert(false, kEncodingAnsi, 0, "as is"), "as is");
}

// The menu group of a code page follows the description after "(": the
// later of two matching groups wins, no "(" or no match is Other.
TEST(CodePages, GroupedByTheirDescriptions) {
  const struct {
    const char *name;
    u32 group;
  } cases[] = {
      {"1252  (ANSI - Latin I)", 0},        {"28592 (ISO 8859-2 Central Europe)", 1},
      {"437   (OEM - United States)", 2},   {"37    (IBM EBCDIC - U.S./Canada)", 3},
      {"10000 (MAC - Roman)", 4},           {"874   (ANSI/OEM - Thai)", 5},
      {"57002 (ISCII - Devanagari)", 6},    {"20127 (US-ASCII)", 7},
      {"1250 ANSI without parentheses", 7}, {"(", 7},
      {"936   (ANSI/OEM - Simplified Chinese GBK)", 5},
  };
  for (const auto &c : cases) EXPECT_EQ(CodePageGroup(c.name), c.group) << c.name;
}

TEST(Conversion, CodePagesAndCharactersWithoutAnAnsiForm) {
  u32 cyrillic = IndexOf(1251);
  ASSERT_NE(cyrillic, 0xFFFFFFFFu);
  bool lost = false;
  // "Da" in Cyrillic has no form in code page 1252.
  EXPECT_EQ(Convert(true, kEncodingCodePage, cyrillic, "\xC4\xE0 ok", &lost), "?? ok");
  EXPECT_TRUE(lost);
  EXPECT_EQ(Convert(true, kEncodingUtf8, 0, "\xD0\x94 \xE2\x82\xAC", &lost), "? \x80");
  EXPECT_TRUE(lost);
  EXPECT_EQ(Convert(false, kEncodingCodePage, cyrillic, "caf\xE9", &lost), "caf?");
  EXPECT_TRUE(lost);
  EXPECT_EQ(Convert(false, kEncodingCodePage, cyrillic, "plain", &lost), "plain");
  EXPECT_FALSE(lost);
  // Invalid UTF-8 is not fatal: it becomes the replacement character.
  Convert(true, kEncodingUtf8, 0, "a\xC3", &lost);
  EXPECT_TRUE(lost);
}

TEST(Conversion, ChunksEndOnCharacterBoundaries) {
  // Over 8 MiB of two-byte UTF-8 characters: every chunk boundary has to be
  // moved back to the start of a character.
  std::string ansi;
  for (int i = 0; i < 6 * 1024 * 1024; i++) ansi += (i % 3) ? "\xE9" : "a";
  // (Compared with EXPECT_TRUE: a failure must not print megabytes.)
  std::string utf8 = Convert(false, kEncodingUtf8, 0, ansi);
  EXPECT_GT(utf8.size(), kConvertChunk);
  EXPECT_TRUE(Convert(true, kEncodingUtf8, 0, utf8) == ansi);
  // A character beyond U+FFFF sends the text the long way, through UTF-16;
  // each half of its surrogate pair has no ANSI form.
  EXPECT_TRUE(Convert(true, kEncodingUtf8, 0, "\xF0\x9F\x98\x80" + utf8) == "??" + ansi);
  std::string wide = Convert(false, kEncodingUnicode, 0, ansi);
  EXPECT_TRUE(Convert(true, kEncodingUnicode, 0, wide) == ansi);
}

// The straight UTF-8 route and the route through UTF-16 give the same text.
TEST(Conversion, DirectUtf8RouteAgreesWithTheWideRoute) {
  const char *pieces[] = {"a", "Z", " ", "\n", "\xC3\xA9", "\xC2\x80", "\xE2\x82\xAC", "\xD0\x94",
                          "\xE4\xB8\xAD", "\xC5\x93", "\xEF\xBF\xBF", "\xC2\x81", "abcdefghij"};
  std::mt19937 rng(7);
  for (int round = 0; round < 200; round++) {
    std::string utf8;
    int n = static_cast<int>(rng() % 200);
    for (int i = 0; i < n; i++) utf8 += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    bool lost = false;
    std::string direct = Convert(true, kEncodingUtf8, 0, utf8, &lost);
    // The wide route, by hand.
    std::u16string wide(utf8.size() + 1, u'\0');
    int units = PlatMultiByteToWide(kCodePageUtf8, utf8.data(), static_cast<int>(utf8.size()),
                                    reinterpret_cast<u16 *>(&wide[0]), static_cast<int>(wide.size()));
    std::string viaWide(static_cast<size_t>(units) * 2 + 1, '\0');
    bool used = false;
    int bytes = PlatWideToMultiByteChecked(kCodePageAnsi, reinterpret_cast<const u16 *>(wide.data()), units,
                                           &viaWide[0], static_cast<int>(viaWide.size()), &used);
    viaWide.resize(static_cast<size_t>(bytes));
    EXPECT_EQ(direct, viaWide) << round;
    EXPECT_EQ(lost, used) << round;
  }
}

TEST(Conversion, OutOfMemoryIsReported) {
  std::string text;
  for (int i = 0; i < 50; i++) text += "\xC3\xA9\xF0\x9F\x98\x80";  // the route through UTF-16
  for (u32 id : {kEncodingUtf8, kEncodingUnicode}) {
    for (bool persistent : {false, true}) {
      for (u32 n = 1;; n++) {
        ByteBuffer buf = {};
        ASSERT_TRUE(BufferAppend(&buf, text.data(), text.size()));
        FaultInjector fi = {};
        FaultPlan(&fi, kFaultAlloc, n, persistent);
        bool lost;
        int r;
        {
          ScopedFaultInjector scope(&fi);
          r = DecodeToAnsi(id, 0, &buf, &lost, nullptr);
        }
        BufferFree(&buf);
        if (!fi.fired[kFaultAlloc]) {
          EXPECT_EQ(r, 0);
          break;
        }
        // A single failure is survived through the paging file; no memory at
        // all is reported.
        if (persistent)
          EXPECT_EQ(r, -1) << n;
        else
          EXPECT_TRUE(r == 0 || r == -1) << n;
      }
    }
  }
}

}  // namespace
