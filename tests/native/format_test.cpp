#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/format.h"

namespace {

std::string F(const char *format, ...) {
  char buf[2048];
  for (char &c : buf) c = '\x7f';
  va_list args;
  va_start(args, format);
  int r = FormatV(buf, sizeof buf, format, args);
  va_end(args);
  EXPECT_EQ(static_cast<size_t>(r), strlen(buf) + 1) << format;
  return buf;
}

TEST(Format, ConversionsAndFlags) {
  EXPECT_EQ(F("%d items", 5), "5 items");
  EXPECT_EQ(F("%i|%u", -7, -1), "-7|4294967295");
  EXPECT_EQ(F("%d", static_cast<int>(0x80000000u)), "-2147483648");
  EXPECT_EQ(F("%x %X", 255, 255), "ff FF");
  EXPECT_EQ(F("%#x", 255), "0xff");
  EXPECT_EQ(F("%05d|%-5d|%5d", 42, 42, 42), "00042|42   |   42");
  EXPECT_EQ(F("%04X", 0xAB), "00AB");
  EXPECT_EQ(F("x%04X", 0x20AC), "x20AC");
  EXPECT_EQ(F("%.3d", 7), "007");
  EXPECT_EQ(F("%s and %s", "this", "that"), "this and that");
  EXPECT_EQ(F("%.3s|%5s|%-5s|", "abcdef", "ab", "ab"), "abc|   ab|ab   |");
  EXPECT_EQ(F("100%% sure"), "100% sure");
  EXPECT_EQ(F(" %d%%", 50), " 50%");
}

TEST(Format, ZIsAnAnsiString) {
  EXPECT_EQ(F("[%Z]", "ansi"), "[ansi]");
  EXPECT_EQ(F("%-6Z|", "ab"), "ab    |");
}

TEST(Format, NarrowSIsAWideString) {
  const u16 wide[] = {'c', 'a', 'f', 0xE9, 0};
  EXPECT_EQ(F("%S", wide), "caf\xE9");
}

TEST(Format, RefusedFormatsWriteNothingAndReturnOne) {
  const char *refused[] = {"%c", "%ld", "%*d", "%", "abc%", "%q", "%+d", "% d", "%lu"};
  for (const char *format : refused) {
    char buf[32] = "untouched";
    EXPECT_EQ(Format(buf, sizeof buf, format, 1, 2), 1) << format;
    EXPECT_STREQ(buf, "") << format;
  }
}

TEST(Format, AtMostSixteenArguments) {
  std::string sixteen, seventeen;
  for (int i = 0; i < 16; i++) sixteen += "%d";
  seventeen = sixteen + "%d";
  char buf[64];
  EXPECT_EQ(Format(buf, sizeof buf, sixteen.c_str(), 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6), 17);
  EXPECT_STREQ(buf, "1234567890123456");
  EXPECT_EQ(Format(buf, sizeof buf, seventeen.c_str(), 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7), 1);
  EXPECT_STREQ(buf, "");
  // "%%" is not an argument.
  std::string literal;
  for (int i = 0; i < 40; i++) literal += "%%";
  EXPECT_EQ(Format(buf, sizeof buf, literal.c_str()), 41);
}

TEST(Format, CapacityAndTheSystemLimit) {
  char small[4];
  EXPECT_EQ(Format(small, sizeof small, "%s", "abcdef"), 4);
  EXPECT_STREQ(small, "abc");
  char none[1] = {'x'};
  EXPECT_EQ(Format(none, 0, "abc"), 1);
  EXPECT_EQ(none[0], 'x');
  EXPECT_EQ(Format(none, 1, "abc"), 1);
  EXPECT_EQ(none[0], 0);

  std::string big(5000, 'y');
  char out[4096];
  EXPECT_EQ(Format(out, sizeof out, "%s", big.c_str()), kFormatMaxOutput + 1);
  EXPECT_EQ(strlen(out), static_cast<size_t>(kFormatMaxOutput));
}

// Widths and precisions past the longest output (up to ones that do not fit
// an int) give that longest output, padded or zero-filled.
TEST(Format, HugeWidthsAndPrecisionsFillTheOutput) {
  char out[4096];
  for (const char *format : {"%99999999999d", "%-5044444444440d", "%.99999999999d", "%099999999999x"}) {
    EXPECT_EQ(Format(out, sizeof out, format, 7), kFormatMaxOutput + 1) << format;
    EXPECT_EQ(strlen(out), static_cast<size_t>(kFormatMaxOutput)) << format;
  }
  EXPECT_EQ(Format(out, sizeof out, "%9999999999s", "abc"), kFormatMaxOutput + 1);
  EXPECT_EQ(Format(out, sizeof out, "%.99999999999s|", "abc"), 5);
  EXPECT_STREQ(out, "abc|");
}

TEST(Format, LongFormatsAreCutBeforeTheyAreChecked) {
  // The working copy keeps 2047 characters: a directive cut in half refuses.
  std::string cut(2046, 'a');
  cut += "%d";
  char out[4096];
  EXPECT_EQ(Format(out, sizeof out, cut.c_str(), 5), 1);
  std::string whole(2045, 'a');
  whole += "%d";
  EXPECT_EQ(Format(out, sizeof out, whole.c_str(), 5), kFormatMaxOutput + 1);
}

std::u16string FW(const char16_t *format, ...) {
  u16 buf[256];
  va_list args;
  va_start(args, format);
  int r = FormatWV(buf, 256, reinterpret_cast<const u16 *>(format), args);
  va_end(args);
  std::u16string s(reinterpret_cast<const char16_t *>(buf));
  EXPECT_EQ(static_cast<size_t>(r), s.size() + 1);
  return s;
}

TEST(FormatWide, SameRulesWideStrings) {
  EXPECT_EQ(FW(u"%d-%s", 12, u"wide"), u"12-wide");
  EXPECT_EQ(FW(u"%Z", "narrow"), u"narrow");  // %Z stays an ANSI string
  EXPECT_EQ(FW(u"%S", "caf\xE9"), u"caf\u00E9");
  EXPECT_EQ(FW(u"%05x", 0xbeef), u"0beef");
  u16 buf[8] = {'x', 0};
  EXPECT_EQ(FormatW(buf, 8, reinterpret_cast<const u16 *>(u"%c"), 'a'), 1);
  EXPECT_EQ(buf[0], 0);
}

}  // namespace
