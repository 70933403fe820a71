#include <gtest/gtest.h>

#include <string>

#include "foundation/numbers.h"
#include "foundation/random.h"

namespace {

std::string Fmt(u64 v, u32 base, bool upper = false) {
  char buf[80];
  char *end = FormatNumber(buf, v, base, upper);
  EXPECT_EQ(*end, 0);
  return std::string(buf, end);
}

TEST(FormatNumber, BasesAndCase) {
  EXPECT_EQ(Fmt(255, 16), "ff");
  EXPECT_EQ(Fmt(255, 16, true), "FF");
  for (u32 base : {2u, 8u, 10u, 16u, 36u}) EXPECT_EQ(Fmt(0, base), "0");
  EXPECT_EQ(Fmt(5, 2), "101");
  EXPECT_EQ(Fmt(8, 8), "10");
  EXPECT_EQ(Fmt(35, 36), "z");
  EXPECT_EQ(Fmt(~0ull, 2), std::string(64, '1'));
  EXPECT_EQ(Fmt(~0ull, 10), "18446744073709551615");
  // A base the formatter cannot use falls back to decimal instead of looping.
  EXPECT_EQ(Fmt(42, 1), "42");
  EXPECT_EQ(Fmt(42, 0), "42");
}

TEST(ParseNumber, SpacesSignsDigitsAndStop) {
  EXPECT_EQ(ParseNumber("  -1A", 16), -26);
  EXPECT_EQ(ParseNumber("\t\r\n +7z", 36), 7 * 36 + 35);
  EXPECT_EQ(ParseNumber("ff", 16), 255);
  EXPECT_EQ(ParseNumber("FfZ", 16), 255);
  const char *end = nullptr;
  EXPECT_EQ(ParseNumber("1289", 8, &end), 10);  // stops at the 8
  EXPECT_STREQ(end, "89");
  EXPECT_EQ(ParseNumber("", 10), 0);
  EXPECT_EQ(ParseNumber("-", 10), 0);
  EXPECT_EQ(ParseNumber("--5", 10), 0);  // one sign only
  EXPECT_EQ(ParseNumber("1 2", 10), 1);
  // The non-breaking space of code page 1252 is white space.
  EXPECT_EQ(ParseNumber("\xA0" "12", 10), 12);
}

TEST(Numbers, FormatAndParseRoundTripInEveryBase) {
  for (int i = 0; i < 2000; i++) {
    u32 base = 2 + static_cast<u32>(Random() % 35);
    u64 v = Random() >> (Random() % 64);
    v &= 0x7FFFFFFFFFFFFFFFull;
    std::string text = Fmt(v, base, i & 1);
    EXPECT_EQ(static_cast<u64>(ParseNumber(text.c_str(), base)), v) << text << " base " << base;
    EXPECT_EQ(DigitCount(v, base), text.size()) << text;
  }
  EXPECT_EQ(DigitCount(0, 10), 1u);
  EXPECT_EQ(DigitCount(9, 10), 1u);
  EXPECT_EQ(DigitCount(10, 10), 2u);
}

std::string Encode(const std::string &bytes) {
  std::string out(Base64EncodedLength(bytes.size()) + 1, '\x7f');
  char *end = Base64Encode(&out[0], bytes.data(), bytes.size());
  EXPECT_EQ(static_cast<size_t>(end - out.data()), Base64EncodedLength(bytes.size()));
  out.resize(static_cast<size_t>(end - out.data()));
  return out;
}

std::string Decode(const std::string &text) {
  std::string out(text.size(), '\0');
  out.resize(Base64Decode(&out[0], text.c_str()));
  return out;
}

TEST(Base64, KnownVectorsWithoutPadding) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("f"), "Zg");
  EXPECT_EQ(Encode("fo"), "Zm8");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(Base64, DecodeSkipsForeignCharacters) {
  EXPECT_EQ(Decode("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(Decode("Zm8="), "fo");
  EXPECT_EQ(Decode(" Z g "), "f");
  EXPECT_EQ(Decode("!!"), "");
}

TEST(Base64, RandomBytesRoundTrip) {
  for (size_t n = 0; n < 200; n++) {
    std::string bytes(n, '\0');
    for (char &c : bytes) c = static_cast<char>(Random());
    EXPECT_EQ(Decode(Encode(bytes)), bytes) << n;
  }
}

}  // namespace
