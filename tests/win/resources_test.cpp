// The compiled resources against the program's own tables.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// Menu 20 and accelerator tables 30 and 31 as data: no command twice in the
// menu; every shortcut a menu item shows is a key of table 30 or 31 for that
// command, and every menu command with a key shows one of its keys; the keys
// of table 30 run menu commands or the commands that only keys reach.
struct Key {
  BYTE flags;  // FCONTROL | FSHIFT | FALT
  WORD key;
  bool operator==(const Key &o) const { return flags == o.flags && key == o.key; }
};

// "Ctrl+Shift+S", "Alt+Del", "Num *", "F11", ...; key 0 when not understood.
Key ParseShortcut(std::string text) {
  Key k = {0, 0};
  const struct {
    const char *name;
    BYTE flag;
  } kModifiers[] = {{"Ctrl+", FCONTROL}, {"Shift+", FSHIFT}, {"Alt+", FALT}};
  for (bool again = true; again;) {
    again = false;
    for (const auto &m : kModifiers) {
      if (text.compare(0, strlen(m.name), m.name) == 0) {
        k.flags |= m.flag;
        text.erase(0, strlen(m.name));
        again = true;
      }
    }
  }
  const struct {
    const char *name;
    WORD key;
  } kNames[] = {{"Del", VK_DELETE}, {"Ins", VK_INSERT}, {"BkSp", VK_BACK}, {"Enter", VK_RETURN},
                {"Space", VK_SPACE}, {"Up", VK_UP},     {"Down", VK_DOWN}, {"Num /", VK_DIVIDE},
                {"Num *", VK_MULTIPLY}, {"Esc", VK_ESCAPE}, {"Tab", VK_TAB}, {"Num +", VK_ADD},
                {"Num -", VK_SUBTRACT}, {"Num 0", VK_NUMPAD0}};
  for (const auto &n : kNames)
    if (text == n.name) k.key = n.key;
  if (text.size() == 1 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= '0' && text[0] <= '9'))) k.key = static_cast<WORD>(text[0]);
  if (text.size() >= 2 && text[0] == 'F' && atoi(text.c_str() + 1) >= 1 && atoi(text.c_str() + 1) <= 24)
    k.key = static_cast<WORD>(VK_F1 + atoi(text.c_str() + 1) - 1);
  return k;
}

void CollectMenu(HMENU menu, std::map<UINT, std::string> *items, std::vector<UINT> *twice) {
  for (int i = 0; i < GetMenuItemCount(menu); i++) {
    char text[256] = "";
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
    mii.dwTypeData = text;
    mii.cch = sizeof text;
    ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii));
    if (mii.hSubMenu) {
      CollectMenu(mii.hSubMenu, items, twice);
    } else if (!(mii.fType & MFT_SEPARATOR)) {
      if (items->count(mii.wID)) twice->push_back(mii.wID);
      (*items)[mii.wID] = text;
    }
  }
}

TEST(Resources, MenuAndKeysAgree) {
  HINSTANCE self = GetModuleHandleA(nullptr);
  HMENU menu = LoadMenuA(self, MAKEINTRESOURCEA(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  std::map<UINT, std::string> items;
  std::vector<UINT> twice;
  CollectMenu(menu, &items, &twice);
  DestroyMenu(menu);
  EXPECT_TRUE(twice.empty()) << "a command twice in the menu: " << (twice.empty() ? 0 : twice[0]);
  std::multimap<UINT, Key> keys;
  std::map<std::pair<BYTE, WORD>, UINT> byKey;
  std::vector<UINT> mainIds;
  for (int table : {IDR_ACCEL_MAIN, IDR_ACCEL_EDIT}) {
    HACCEL accel = LoadAcceleratorsA(self, MAKEINTRESOURCEA(table));
    ASSERT_NE(accel, nullptr);
    std::vector<ACCEL> entries(static_cast<size_t>(CopyAcceleratorTableA(accel, nullptr, 0)));
    CopyAcceleratorTableA(accel, entries.data(), static_cast<int>(entries.size()));
    for (const ACCEL &a : entries) {
      EXPECT_TRUE(a.fVirt & FVIRTKEY) << a.cmd;
      const BYTE mods = static_cast<BYTE>(a.fVirt & (FCONTROL | FSHIFT | FALT));
      keys.insert({a.cmd, Key{mods, a.key}});
      EXPECT_TRUE(byKey.insert({{mods, a.key}, a.cmd}).second) << "key " << a.key << " twice (" << a.cmd << ")";
      if (table == IDR_ACCEL_MAIN) mainIds.push_back(a.cmd);
    }
  }
  for (const auto &item : items) {
    const size_t tab = item.second.find('\t');
    const auto range = keys.equal_range(item.first);
    if (tab == std::string::npos) {
      EXPECT_EQ(range.first, range.second) << item.second << " has a key but shows none";
      continue;
    }
    const Key shown = ParseShortcut(item.second.substr(tab + 1));
    ASSERT_NE(shown.key, 0) << item.second;
    bool found = false;
    for (auto it = range.first; it != range.second; ++it) found = found || it->second == shown;
    EXPECT_TRUE(found) << item.second << ": no such key for " << item.first;
  }
  auto keyOnly = [](UINT id) {
    return id == IDM_FILE_ESCAPE || id == IDM_FILE_ESCAPE_NO_SAVE || (id >= 40701 && id <= 40712) || id == 45001 ||
           (id >= 45201 && id <= 45209) || (id >= 45301 && id <= 45309);
  };
  for (UINT id : mainIds) EXPECT_TRUE(items.count(id) || keyOnly(id) || id == 32511) << "table 30 runs " << id;
  // Every command has its status-bar help, and every key-only command a key.
  char help[512];
  for (const auto &item : items) EXPECT_GT(LoadStringA(self, item.first, help, sizeof help), 0) << "no help for " << item.first;
  for (UINT id : {13813u, 13817u, 40712u, 45001u, 45209u, 45309u, 30050u, 36120u, 55911u, 32511u, 25110u, 25360u})
    EXPECT_TRUE(keys.count(id)) << "no key for " << id;
}

}  // namespace

namespace {

std::string SourceFile(const char *name) {
  const char *data = getenv("QP_TEST_DATA");
  if (!data) return "";
  std::string path = std::string(data) + "/../../resources/" + name, out;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return "";
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  fclose(f);
  return out;
}

// No two dialogs, menus or accelerator tables of the resource script share
// an id (the compiler would keep one of them without a word).
TEST(Resources, NoTwoResourcesOfATypeShareAnId) {
  const std::string header = SourceFile("resource.h"), script = SourceFile("quillpad.rc");
  ASSERT_FALSE(header.empty() || script.empty()) << "QP_TEST_DATA must lead to the sources";
  std::map<std::string, long> defines;
  for (size_t at = header.find("#define "); at != std::string::npos; at = header.find("#define ", at + 1)) {
    char name[128];
    long value;
    if (sscanf(header.c_str() + at, "#define %127s %ld", name, &value) == 2) defines[name] = value;
  }
  std::map<std::string, std::map<long, std::string>> seen;  // type -> id -> name
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    char name[128], type[32];
    const char first = line.empty() ? ' ' : line[0];
    const bool named = (first >= 'A' && first <= 'Z') || (first >= '0' && first <= '9') || first == '_';
    if (!named || sscanf(line.c_str(), "%127s %31s", name, type) != 2) continue;
    std::string kind = type;
    if (kind == "DIALOGEX") kind = "DIALOG";
    if (kind == "MENUEX") kind = "MENU";
    if (kind != "DIALOG" && kind != "MENU" && kind != "ACCELERATORS") continue;
    const long id = defines.count(name) ? defines[name] : atol(name);
    ASSERT_NE(id, 0) << name << " has no number";
    EXPECT_EQ(seen[kind].count(id), 0u) << kind << " " << id << ": " << name << " and " << seen[kind][id];
    seen[kind][id] = name;
  }
  EXPECT_GE(seen["DIALOG"].size(), 6u);
  EXPECT_GE(seen["MENU"].size(), 3u);
  EXPECT_EQ(seen["DIALOG"][150], "IDD_CLIPS");
  EXPECT_EQ(seen["DIALOG"][140], "IDD_GOTO");
}

}  // namespace
