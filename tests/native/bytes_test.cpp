#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>

#include "foundation/bytes.h"

namespace {

TEST(Bytes, CompareReportsBytesLeftFromTheFirstDifference) {
  EXPECT_EQ(MemCompare("abcde", "abcde", 5), 0u);
  EXPECT_EQ(MemCompare("abcde", "xbcde", 5), 5u);
  EXPECT_EQ(MemCompare("abcde", "abxde", 5), 3u);
  EXPECT_EQ(MemCompare("abcde", "abcdx", 5), 1u);  // a difference in the last byte is not "equal"
  EXPECT_EQ(MemCompare("a", "b", 0), 0u);
  // Bytes above 127 compare as themselves, not as negative chars.
  EXPECT_EQ(MemCompare("\xe9", "\xe9", 1), 0u);
}

TEST(Bytes, CompareThroughTheLowercaseTable) {
  u8 lower[256];
  for (int i = 0; i < 256; i++) lower[i] = static_cast<u8>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  lower[0xC9] = 0xE9;  // E acute
  EXPECT_EQ(MemCompareLower("Hello \xC9t\xE9", "hELLO \xE9T\xE9", 9, lower), 0u);
  EXPECT_EQ(MemCompareLower("Hello", "Help!", 5, lower), 2u);
}

// Every start alignment and length up to 200 (the aligned 64- and 16-byte
// steps and the tails), the byte at each place or nowhere: the first one,
// never one outside the range.
TEST(Bytes, WideFindByteFindsTheFirstInsideTheRange) {
  alignas(16) char buffer[256];
  for (int start = 0; start < 16; start++) {
    for (int n = 0; n + start <= 216; n++) {
      for (int at = -1; at < n; at += at < 20 || at > n - 20 ? 1 : 7) {
        memset(buffer, 'a', sizeof buffer);
        // The byte also stands just outside the range, and twice inside.
        if (start > 0) buffer[start - 1] = 'x';
        if (start + n < 256) buffer[start + n] = 'x';
        if (at >= 0) buffer[start + at] = 'x';
        if (at >= 0 && at + 1 < n) buffer[start + at + 1] = 'x';
        const void *found = MemFindByteWide(buffer + start, 'x', static_cast<size_t>(n));
        ASSERT_EQ(found, at < 0 ? nullptr : buffer + start + at) << start << " " << n << " " << at;
      }
    }
  }
  const char high[] = "\x80\xFF\x7F";  // bytes above 127 are not negative
  EXPECT_EQ(MemFindByteWide(high, 0xFF, 3), high + 1);
}

TEST(Bytes, FindOtherSwapMapReplace) {
  EXPECT_EQ(MemFindOther("   x ", ' ', 5), 3u);
  EXPECT_EQ(MemFindOther("    ", ' ', 4), 4u);
  EXPECT_EQ(MemFindOther("", ' ', 0), 0u);

  char units[] = {'a', 0, 'b', 0, 'c', 0};
  MemSwap16(units, 3);
  EXPECT_EQ(std::string(units, 6), std::string("\0a\0b\0c", 6));

  u8 table[256];
  for (int i = 0; i < 256; i++) table[i] = static_cast<u8>(255 - i);
  char mapped[3];
  MemCopyMapped(mapped, "\x00\x01\xff", table, 3);
  EXPECT_EQ(std::string(mapped, 3), std::string("\xff\xfe\x00", 3));

  // Tables of a few shifted runs (taken sixteen ASCII bytes at a time) and of
  // many, over texts mostly ASCII, against the table byte by byte.
  std::mt19937 r(7);
  for (int round = 0; round < 300; round++) {
    for (int i = 0; i < 256; i++) table[i] = static_cast<u8>(i);
    const int runs = round % 7;
    for (int k = 0; k < runs; k++) {
      const int first = static_cast<int>(r() % 128), last = first + static_cast<int>(r() % (128 - first));
      const u8 shift = static_cast<u8>(r());
      for (int c = first; c <= last; c++) table[c] = static_cast<u8>(c + shift);
    }
    for (int c = 128; c < 256; c++) table[c] = static_cast<u8>(r());
    std::string text(r() % 300, 'x');
    for (char &c : text) c = static_cast<char>(r() % 40 ? r() % 128 : r() % 256);
    std::string got(text.size(), '\0'), want(text.size(), '\0');
    for (size_t i = 0; i < text.size(); i++) want[i] = static_cast<char>(table[static_cast<u8>(text[i])]);
    MemCopyMapped(&got[0], text.data(), table, text.size());
    ASSERT_EQ(got, want) << round;
    MemCopyMapped(&text[0], text.data(), table, text.size());  // in place
    ASSERT_EQ(text, want) << round;
  }

  char replaced[6];
  MemReplaceByte(replaced, std::string("a\0b\0c\0", 6).data(), 0, ' ', 6);
  EXPECT_EQ(std::string(replaced, 6), "a b c ");
}

TEST(Bytes, OverlappingMovesInBothDirections) {
  char up[] = "abcdefgh";
  MemCopyBackward(up + 2, up, 5);
  EXPECT_STREQ(up, "ababcdeh");
  char down[] = "abcdefgh";
  MemCopy(down, down + 2, 5);
  EXPECT_STREQ(down, "cdefgfgh");
  char buf[8];
  MemFill(buf, 'z', 7);
  buf[7] = 0;
  EXPECT_STREQ(buf, "zzzzzzz");
  MemZero(buf, 8);
  EXPECT_EQ(MemFindOther(buf, 0, 8), 8u);
}

TEST(Bytes, ExpandedWidthAdvancesTabsToTheNextStop) {
  EXPECT_EQ(ExpandedWidth("abc\t", 4, 8), 8u);
  EXPECT_EQ(ExpandedWidth("\t", 1, 8), 8u);
  EXPECT_EQ(ExpandedWidth("abcdefgh\t", 9, 8), 16u);  // a tab at a stop goes a whole stop
  EXPECT_EQ(ExpandedWidth("a\tb\t", 4, 4), 8u);
  EXPECT_EQ(ExpandedWidth("abc", 3, 8), 3u);
  EXPECT_EQ(ExpandedWidth("\t\t", 2, 1), 2u);
  EXPECT_EQ(ExpandedWidth("", 0, 8), 0u);
}

TEST(Strings, BoundedCopyAlwaysTerminates) {
  char buf[4];
  char *end = StrCopyN(buf, "abcdef", sizeof buf);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(end, buf + 3);
  end = StrCopyN(buf, "ab", sizeof buf);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(end, buf + 2);
  end = StrCopyN(buf, "abc", 1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(end, buf);

  char whole[8];
  EXPECT_EQ(StrCopy(whole, "hello"), whole + 5);
  EXPECT_STREQ(whole, "hello");
  EXPECT_EQ(StrLen("hello"), 5u);
  EXPECT_EQ(StrLenN("hello", 3), 3u);
  EXPECT_EQ(StrLenN("hi", 3), 2u);
  // StrLenN never reads past max: the buffer below has no terminator.
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(StrLenN(unterminated, 3), 3u);
}

}  // namespace
