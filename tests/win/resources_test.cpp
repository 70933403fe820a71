// The compiled resources against the program's own tables.
#include <gtest/gtest.h>
#include <windows.h>

#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

// The resource compiler and the C++ compiler read the same strings.def; both
// must arrive at the same bytes (escapes, quotes, backslashes).
TEST(Resources, StringTableMatchesTheBuiltinTexts) {
  u32 count = 0;
  const BuiltinString *all = BuiltinStrings(&count);
  ASSERT_GT(count, 60u);
  HINSTANCE self = GetModuleHandleA(nullptr);
  for (u32 i = 0; i < count; i++) {
    char buf[4096];
    int n = LoadStringA(self, all[i].id, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n > 0 ? n : 0)), all[i].text) << "string " << all[i].id;
  }
}

TEST(Resources, TextsLoadedAtStartupComeFromTheStringTable) {
  EXPECT_STREQ(Text(TXT_UNKNOWN_OPTION), "Unknown command line parameter:\n\n%s\n\nCommand line:\n\n%s");
  EXPECT_STREQ(Text(TXT_FAVOURITE_HINT), "Example: C:\\Texts\\notes.txt, or -- for a separator.");
}

TEST(Resources, IconMenuAndVersionArePresent) {
  HINSTANCE self = GetModuleHandleA(nullptr);
  EXPECT_NE(LoadIconA(self, MAKEINTRESOURCEA(IDI_QUILLPAD)), nullptr);
  HMENU menu = LoadMenuA(self, MAKEINTRESOURCEA(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  char text[64] = {};
  EXPECT_GT(GetMenuStringA(menu, IDM_FILE_EXIT, text, sizeof text, MF_BYCOMMAND), 0);
  EXPECT_STREQ(text, "E&xit");
  DestroyMenu(menu);
  EXPECT_NE(FindResourceA(self, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16)), nullptr);
}

}  // namespace
