// The manual copied beside the program against the program itself: every
// command of its menus (read from the built exe), every key of its
// accelerator tables, every command-line option and exit code, every
// configuration key with its default, and the pattern and mask languages
// have their anchor; anchors are unique, every link inside resolves, and
// nothing is fetched from elsewhere.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "config/config_state.h"
#include "config/key_tables.h"
#include "config/settings.h"
#include "resources/resource.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

class Manual : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    bool ok = false;
    text_ = new std::string(ReadBytes(ExeDir() + "QuilPad.htm", &ok));
    if (!ok) text_->clear();
    std::regex id("id=\"([^\"]+)\"");
    for (std::sregex_iterator i(text_->begin(), text_->end(), id), end; i != end; ++i) {
      const std::string name = (*i)[1];
      ids_ = ids_ ? ids_ : new std::map<std::string, int>;
      (*ids_)[name]++;
    }
    if (!ids_) ids_ = new std::map<std::string, int>;
  }
  static void TearDownTestSuite() {
    delete text_;
    delete ids_;
    text_ = nullptr;
    ids_ = nullptr;
  }
  static bool Has(const std::string &anchor) { return ids_->count(anchor) != 0; }
  // The text of the table cell of class "d" in the row with this anchor.
  static std::string DefaultCell(const std::string &anchor) {
    const size_t row = text_->find("id=\"" + anchor + "\"");
    if (row == std::string::npos) return "(no row)";
    const size_t end = text_->find("</tr>", row);
    const size_t cell = text_->find("<td class=\"d\">", row);
    if (cell == std::string::npos || cell > end) return "(no default)";
    const size_t from = cell + 14;
    return text_->substr(from, text_->find("</td>", from) - from);
  }
  static std::string *text_;
  static std::map<std::string, int> *ids_;
};
std::string *Manual::text_;
std::map<std::string, int> *Manual::ids_;

TEST_F(Manual, IsBesideTheProgramWithUniqueAnchorsResolvedLinksAndNothingRemote) {
  ASSERT_FALSE(text_->empty()) << "QuilPad.htm is not beside the program";
  EXPECT_EQ(text_->compare(0, 15, "<!DOCTYPE html>"), 0);
  EXPECT_GT(ids_->size(), 500u);
  for (const auto &id : *ids_) EXPECT_EQ(id.second, 1) << "anchor " << id.first << " appears more than once";
  std::regex link("href=\"#([^\"]*)\"");
  int links = 0;
  for (std::sregex_iterator i(text_->begin(), text_->end(), link), end; i != end; ++i, ++links)
    EXPECT_TRUE(Has((*i)[1])) << "link to #" << (*i)[1] << " goes nowhere";
  EXPECT_GT(links, 100);
  // Every link and source stays inside the page: no scripts, images or styles from elsewhere.
  std::regex outside("(href|src)=\"(?!#)[^\"]*\"|<script|<link|<img|<iframe|@import|url\\(");
  EXPECT_FALSE(std::regex_search(*text_, outside));
}

void CollectMenuIds(HMENU menu, std::set<UINT> *ids) {
  for (int i = 0; i < GetMenuItemCount(menu); i++) {
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii));
    if (mii.hSubMenu) CollectMenuIds(mii.hSubMenu, ids);
    else if (!(mii.fType & MFT_SEPARATOR)) ids->insert(mii.wID);
  }
}

TEST_F(Manual, EveryMenuCommandAndEveryKeyOfTheBuiltProgramHasItsAnchor) {
  HMODULE exe = LoadLibraryExA((ExeDir() + "quillpad.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  std::set<UINT> commands;
  for (int menu : {IDR_MAIN_MENU, IDR_CONTEXT_MENU, IDR_DRAG_MENU}) {
    HMENU m = LoadMenuA(exe, MAKEINTRESOURCEA(menu));
    ASSERT_NE(m, nullptr) << menu;
    CollectMenuIds(m, &commands);
    DestroyMenu(m);
  }
  EXPECT_GT(commands.size(), 150u);
  EXPECT_TRUE(commands.count(IDM_EDIT_WEB_SEARCH));
  for (UINT id : commands) EXPECT_TRUE(Has("cmd-" + std::to_string(id))) << "menu command " << id;
  int keys = 0;
  for (int table : {IDR_ACCEL_MAIN, IDR_ACCEL_EDIT, IDR_ACCEL_SEARCHBAR}) {
    HACCEL accel = LoadAcceleratorsA(exe, MAKEINTRESOURCEA(table));
    ASSERT_NE(accel, nullptr) << table;
    ACCEL entries[256];
    const int n = CopyAcceleratorTableA(accel, entries, 256);
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; i++, keys++)
      EXPECT_TRUE(Has("acc" + std::to_string(table) + "-" + std::to_string(entries[i].cmd)))
          << "key of table " << table << " for command " << entries[i].cmd;
    DestroyAcceleratorTable(accel);
  }
  EXPECT_GT(keys, 130);
  FreeLibrary(exe);
}

TEST_F(Manual, EveryOptionExitCodeAndPatternAndMaskElementHasItsAnchor) {
  const char *kOptions[] = {"//p", "//s", "/?", "/A", "/U", "/W", "/E", "/F", "/H", "/M", "/T", "/a", "/b", "/c", "/d",
                            "/h", "/i", "/l", "/m", "/nf", "/nl", "/nm", "/nn", "/ns", "/nw", "/p", "/s", "/u", "/v",
                            "/w", "/x", "/y"};
  for (const char *o : kOptions) EXPECT_TRUE(Has(std::string("opt-") + o)) << o;
  for (const char *code : {"0", "1", "minus1", "minus2", "minus3"}) EXPECT_TRUE(Has(std::string("exit-") + code)) << code;
  const char *kPatterns[] = {"literal", "dot", "anchors", "class", "named-class", "group", "noncapture", "lookahead",
                             "lookbehind", "atomic", "branch-reset", "alternative", "quantifiers", "escaped",
                             "characters", "newline", "backreference", "shorthand", "positions", "keep", "quote"};
  for (const char *p : kPatterns) EXPECT_TRUE(Has(std::string("pat-") + p)) << p;
  const char *kMasks[] = {"text", "percent", "line", "columns", "lengths", "counter", "random", "newline", "error", "align"};
  for (const char *m : kMasks) EXPECT_TRUE(Has(std::string("mask-") + m)) << m;
}

// The anchor of a key: its section ("\" as "-") and its name, a number in it
// written NN ("%.2d") or n ("%d").
std::string KeyAnchor(const char *section, const char *name) {
  std::string s = std::string("key-") + section + "-" + name;
  for (size_t at; (at = s.find('\\')) != std::string::npos;) s[at] = '-';
  for (size_t at; (at = s.find("%.2d")) != std::string::npos;) s.replace(at, 4, "NN");
  for (size_t at; (at = s.find("%d")) != std::string::npos;) s.replace(at, 2, "n");
  return s;
}

TEST_F(Manual, EveryConfigurationKeyHasItsAnchorAndItsDefault) {
  static SettingsBlock defaults;
  SetDefaultSettings(&defaults, true);
  const KeyTable *kOfTheBlock[] = {&kSaveKeys, &kPlacePositionKeys, &kPlaceSizeKeys, &kOptsKeys, &kMainKeys,
                                   &kEditKeys, &kFileKeys,          &kToolKeys,      &kCompareKeys, &kUpdateKeys};
  int checked = 0;
  for (int t = 0; t < kAllTableCount; t++) {
    const NamedTable &named = kAllTables[t];
    bool ofTheBlock = false;
    for (const KeyTable *k : kOfTheBlock) ofTheBlock = ofTheBlock || k == named.table;
    for (int r = 0; r < named.table->count; r++) {
      const KeyEntry &row = named.table->rows[r];
      const std::string anchor = KeyAnchor(named.section, row.name);
      ASSERT_TRUE(Has(anchor)) << anchor;
      const u8 type = row.type & kKeyTypeMask;
      if (!ofTheBlock || (type != kKeyInt && type != kKeyFlag)) continue;
      // Colours and locale texts follow the system's; the manual says which.
      if (DefaultCell(anchor) == "(system)") {
        EXPECT_TRUE(std::string(row.name).compare(0, 2, "CL") == 0 || std::string(row.name).compare(0, 2, "Lc") == 0)
            << anchor << " is no system default";
        continue;
      }
      i32 value;
      memcpy(&value, reinterpret_cast<const char *>(&defaults) + row.offset, sizeof value);
      EXPECT_EQ(DefaultCell(anchor), std::to_string(value)) << anchor;
      checked++;
    }
  }
  EXPECT_GT(checked, 150);
  EXPECT_TRUE(Has("key-Update-Version"));
}

}  // namespace
