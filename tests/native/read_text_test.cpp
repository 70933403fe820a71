// Reading text out of the store with newline conversion, against a simple
// model, over random texts, ranges, flags and capacities.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "document/document.h"
#include "document/edit.h"
#include "document/text_store.h"
#include "files/clip_block.h"
#include "tests/support/document_support.h"

namespace {

// What ReadText must give: each newline (CR LF, CR, LF) counts as in the
// range when its first byte is (any byte with kReadPartialNewline); with a
// hard kind it is written whole in that kind or not at all; a byte that does
// not fit ends the output. outFlags: a NUL written as a space; with CR LF, a
// newline written that is stored otherwise.
std::string Model(const std::string &t, u32 from, u32 to, u32 flags, u32 cap, u32 *outFlags) {
  *outFlags = 0;
  if (from > to) std::swap(from, to);
  if (to > t.size()) to = static_cast<u32>(t.size());
  if (from > to) from = to;
  const u32 hard = flags & 3;
  if (flags & kReadTerminate) cap = cap ? cap - 1 : 0;
  std::string out;
  bool full = false;
  auto put = [&](const std::string &bytes, bool whole) {
    if (full) return false;
    if (out.size() + bytes.size() <= cap) {
      out += bytes;
      return true;
    }
    if (!whole) out += bytes.substr(0, cap - out.size());
    full = true;
    return false;
  };
  for (u32 a = 0; a < t.size() && !full;) {
    u32 b = a + 1;
    const bool newline = t[a] == '\r' || t[a] == '\n';
    if (t[a] == '\r' && b < t.size() && t[b] == '\n') b++;
    if (!newline || !hard) {
      for (u32 i = a; i < b && !full; i++) {
        if (i < from || i >= to) continue;
        char c = t[i];
        const bool nul = (flags & kReadNulToSpace) && c == 0;
        if (put(std::string(1, nul ? ' ' : c), false) && nul) *outFlags |= kReadOutNul;
      }
    } else {
      bool in = (a >= from && a < to) || ((flags & kReadPartialNewline) && from < to && a < to && b > from);
      if (in && put(hard == 1 ? "\r" : hard == 2 ? "\n" : "\r\n", true) && hard == 3 && b - a == 1) {
        *outFlags |= kReadOutNotCRLF;
      }
    }
    a = b;
  }
  if (flags & kReadTerminate) out.push_back('\0');
  return out;
}

TEST(ReadTextTest, MatchesModel) {
  TestRandom rng(2024);
  for (int round = 0; round < 400; round++) {
    TextStore s;
    ASSERT_TRUE(InitialiseStore(&s, 64, 512));
    std::string text = RandomText(rng, rng.Below(round < 350 ? 200 : 40000), 1 + rng.Below(30));
    if (!text.empty() && rng.OneIn(4)) text[rng.Below(static_cast<unsigned>(text.size()))] = '\0';
    ASSERT_EQ(StoreInsert(&s, 0, BytesSource(text.data(), static_cast<u32>(text.size())), 0), 0);
    for (int k = 0; k < 20; k++) {
      const u32 n = static_cast<u32>(text.size());
      u32 from = rng.Below(n + 2), to = rng.Below(n + 2);
      u32 flags = rng.Below(4) | (rng.OneIn(2) ? kReadPartialNewline : 0) | (rng.OneIn(4) ? kReadNulToSpace : 0) |
                  (rng.OneIn(5) ? kReadTerminate : 0);
      u32 cap = rng.OneIn(3) ? rng.Below(n + 4) + 1 : 2 * n + 8;
      std::string got(cap, '#');
      u32 gotFlags = 0, wantFlags = 0;
      u32 len = ReadText(&s, from, to, &got[0], cap, flags, &gotFlags);
      got.resize(len);
      const std::string want = Model(text, from, to, flags, cap, &wantFlags);
      ASSERT_TRUE(got == want && gotFlags == wantFlags)
          << "round " << round << " from " << from << " to " << to << " flags " << flags << " cap " << cap << " got "
          << got.size() << " want " << want.size() << " out-flags " << gotFlags << " " << wantFlags;
      // Read with a copy of the stored bytes: the same, and the bytes.
      const u32 a = std::min(std::min(from, to), n), b = std::min(std::max(from, to), n);
      std::string copy(b - a, '#');
      got.assign(cap, '#');
      got.resize(ReadTextAndCopy(&s, from, to, &got[0], cap, flags, &copy[0], &gotFlags));
      ASSERT_TRUE(got == want && gotFlags == wantFlags && copy == text.substr(a, b - a)) << "round " << round;
    }
    FreeStore(&s);
  }
}

// Long reads go in two parts at once, written past the cache: the same as
// the model with any newlines, a NUL, and ranges starting or ending inside a
// CR LF.
TEST(ReadTextTest, LongReadsMatchTheModel) {
  TestRandom rng(88);
  for (int round = 0; round < 2; round++) {
    TextStore s;
    ASSERT_TRUE(InitialiseStore(&s, 64, 512));
    std::string text = RandomText(rng, 9u << 20, round ? 2000 : 1 + rng.Below(80));
    // Zero bytes and lone CRs (the bytes the 64-byte windows stop at) are
    // rare but in one round.
    const u32 n = static_cast<u32>(text.size());
    for (u32 i = 0; i < n && round == 0; i++) {
      if (text[i] == '\0') text[i] = 'z';
      if (text[i] == '\r' && (i + 1 == n || text[i + 1] != '\n')) text[i] = '\n';
    }
    text[rng.Below(n)] = '\0';
    ASSERT_EQ(StoreInsert(&s, 0, BytesSource(text.data(), n), 0), 0);
    for (int k = 0; k < 3; k++) {
      u32 from = rng.Below(256u << 10), to = n - rng.Below(256u << 10);
      if (k == 1) from = static_cast<u32>(text.find("\r\n", 1000) + 1);  // inside a CR LF
      if (k == 1) to = static_cast<u32>(text.rfind("\r\n") + 1);
      const u32 flags = (k == 2 ? kReadHardLF : kReadClipboard) | (round ? kReadTerminate : 0);
      u32 wantFlags = 0, gotFlags = 0;
      const u32 cap = MeasureText(&s, from, to, flags);
      const std::string want = Model(text, from, to, flags, cap, &wantFlags);
      std::string got(cap, '#'), copy(to - from, '#');
      got.resize(ReadText(&s, from, to, &got[0], cap, flags, &gotFlags));
      ASSERT_TRUE(got == want && gotFlags == wantFlags) << "round " << round << " read " << k;
      got.assign(cap, '#');
      got.resize(ReadTextAndCopy(&s, from, to, &got[0], cap, flags, &copy[0], &gotFlags));
      ASSERT_TRUE(got == want && gotFlags == wantFlags && copy == text.substr(from, to - from))
          << "round " << round << " read and copy " << k;
    }
    FreeStore(&s);
  }
}

}  // namespace

// The clipboard's blocks of a selection, sized in 64 bits: an older text
// plus the selection past 2^31 bytes is refused (on the 32-bit build the sum
// would wrap and the copy run past its block).
TEST(ClipBlocks, SizesPastTwoGigabytesAreRefused) {
  Document *doc = CreateDocument();
  ASSERT_NE(doc, nullptr);
  ASSERT_EQ(InsertText(&doc->store, 0, "ab\ncd", 5, 0), 0);
  u64 plain = 0, exact = 0;
  EXPECT_TRUE(ClipBlockSizes(&doc->store, 0, 5, 10, 10, &plain, &exact));
  EXPECT_EQ(exact, 8u + 10 + 5 + 1);
  EXPECT_GE(plain, 10u + 6 + 1);
  EXPECT_FALSE(ClipBlockSizes(&doc->store, 0, 5, 0x7FFFFFFAu, 0, &plain, &exact));
  EXPECT_FALSE(ClipBlockSizes(&doc->store, 0, 5, 0, 0x7FFFFFF8u, &plain, &exact));
  EXPECT_FALSE(ClipBlockSizes(&doc->store, 0, 5, 0xFFFFFFFFu, 0xFFFFFFFFu, &plain, &exact));
  DestroyDocument(doc);
}
