// The Win32 backend against what the native builds assume of Windows, and the
// Wine prefix the tests run in.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/platform.h"

namespace {

TEST(PlatformWin32, AnsiCodePageIs1252) { EXPECT_EQ(GetACP(), 1252u); }

// The POSIX backend answers from tests/data/cp1252-chartypes.tsv; the live
// system must give the same answers, byte for byte.
TEST(PlatformWin32, CharacterAnswersMatchTheRecordedTable) {
  const char *dir = getenv("QP_TEST_DATA");
  ASSERT_NE(dir, nullptr) << "QP_TEST_DATA is not set";
  std::string path = std::string(dir) + "\\cp1252-chartypes.tsv";
  FILE *f = fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr) << path;
  char line[256];
  int rows = 0;
  while (fgets(line, sizeof line, f)) {
    if (line[0] == '#') continue;
    unsigned b, c1, c3, lo, up, wide;
    ASSERT_EQ(sscanf(line, "%x %x %x %x %x U+%x", &b, &c1, &c3, &lo, &up, &wide), 6) << line;
    u16 t1, t3;
    PlatCharTypes(static_cast<u8>(b), &t1, &t3);
    EXPECT_EQ(t1, c1) << "CT_CTYPE1 of " << b;
    EXPECT_EQ(t3, c3) << "CT_CTYPE3 of " << b;
    EXPECT_EQ(PlatCharLower(static_cast<u8>(b)), lo) << "lower of " << b;
    EXPECT_EQ(PlatCharUpper(static_cast<u8>(b)), up) << "upper of " << b;
    char ch = static_cast<char>(b);
    u16 w = 0;
    EXPECT_EQ(PlatAnsiToWide(&ch, 1, &w, 1), 1);
    EXPECT_EQ(w, wide) << "wide of " << b;
    rows++;
  }
  fclose(f);
  EXPECT_EQ(rows, 256);
}

std::string FaceOf(const char *name, bool *fixedPitch) {
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, name);
  HGDIOBJ old = SelectObject(dc, font);
  char face[LF_FACESIZE] = {};
  GetTextFaceA(dc, sizeof face, face);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  // TMPF_FIXED_PITCH set means the font is *not* fixed pitch.
  *fixedPitch = !(tm.tmPitchAndFamily & TMPF_FIXED_PITCH);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  return face;
}

// Debian's Wine does not find its own fonts and maps "Courier New" to a
// proportional face unless the prefix is set up for it.
TEST(WinePrefix, FontsAreInstalledAndMapped) {
  bool fixed = false;
  FaceOf("Courier New", &fixed);
  EXPECT_TRUE(fixed) << "Courier New must be a fixed-pitch face";
  FaceOf("Lucida Console", &fixed);
  EXPECT_TRUE(fixed) << "Lucida Console must be a fixed-pitch face";
  EXPECT_EQ(FaceOf("Tahoma", &fixed), "Tahoma") << "Wine's own fonts are not installed in the prefix";
}

}  // namespace
