// The conversions between the Settings pages' controls and the settings:
// numbers as the configuration reader takes them, with the start-up limits,
// MiB in 64 bits, the inverted multi-click bits, the Ctrl level of AMCopy,
// radio indexes and texts at their key's size; and separators among the
// favourites.
#include <gtest/gtest.h>

#include <string>

#include "config/config_lists.h"
#include "config/config_state.h"
#include "config/settings_bindings.h"

namespace {

const ControlBinding &Bound(const char *key, int nth = 0) {
  for (int i = 0; i < kControlBindingCount; i++)
    if (std::string(kControlBindings[i].key) == key && nth-- == 0) return kControlBindings[i];
  ADD_FAILURE() << "no control for " << key;
  return kControlBindings[0];
}

i32 Field(SettingsBlock &s, const char *key) { return *static_cast<i32 *>(BindingField(&s, Bound(key))); }

TEST(SettingsBindings, EveryControlReachesItsKeyWithTheRightType) {
  SettingsBlock s;
  for (int i = 0; i < kControlBindingCount; i++) {
    const ControlBinding &b = kControlBindings[i];
    SCOPED_TRACE(b.key);
    const KeyEntry *row = FindSettingKey(b.key);
    ASSERT_NE(row, nullptr);
    ASSERT_NE(BindingField(&s, b), nullptr);
    const int type = row->type & kKeyTypeMask;
    if (b.kind == kBindText) EXPECT_EQ(type, kKeyString);
    else if (b.kind == kBindFont) EXPECT_EQ(type, kKeyBinary);
    else EXPECT_TRUE(type == kKeyInt || type == kKeyFlag);
    for (int j = 0; j < i; j++) EXPECT_NE(kControlBindings[j].control, b.control) << "one control, one binding";
  }
  EXPECT_EQ(FindSettingKey("Backup"), nullptr) << "aliases are never bound";
  EXPECT_EQ(FindSettingKey("NoSuch"), nullptr);
}

// A number typed into an edit box: what the field holds after it, from an
// old value; "keep" rows are not numbers at all.
struct Typed {
  const char *key, *text;
  i32 old, stored;
  bool accepted;
};
const Typed kTyped[] = {
    {"Tab", "4", 8, 4, true},          {"Tab", "0", 8, 1, true},           {"Tab", "5000", 8, 1023, true},
    {"Tab", " +7", 8, 7, true},        {"Tab", "-3", 8, 1, true},          {"Tab", "abc", 8, 8, false},
    {"Tab", "", 8, 8, false},          {"Tab", "-", 8, 8, false},          {"Tab", "12345678901", 8, 1, true},
    {"Tab", "4294967300", 8, 4, true}, {"HiSelLn", "0", 3, 1, true},       {"HiSelLn", "9", 3, 9, true},
    {"ASTime", "1000000000", 300, 131072, true}, {"ASTime", "0", 300, 1, true},
    {"ASTime", "45s", 300, 45, true},  {"KeepX", "-2", 5, -2, true},       {"LMargin", " 12", 8, 12, true},
    {"Limit", "10", 0, 10485760, true}, {"Limit", "2047", 0, 2047 * 1048576, true},
    {"Limit", "2048", 5, 0, true},     {"Limit", "4096", 5, 0, true},      {"Limit", "-1", 5, 0, true},
    {"Limit", "x", 5, 5, false},
};

TEST(SettingsBindings, NumbersAreReadClampedAndKeptWhenNoNumber) {
  for (const Typed &t : kTyped) {
    SCOPED_TRACE(std::string(t.key) + " <- \"" + t.text + "\"");
    SettingsBlock s;
    SetDefaultSettings(&s, true);
    *static_cast<i32 *>(BindingField(&s, Bound(t.key))) = t.old;
    EXPECT_EQ(StoreBindingNumber(&s, Bound(t.key), t.text), t.accepted);
    EXPECT_EQ(Field(s, t.key), t.stored);
  }
}

TEST(SettingsBindings, ShownNumbersAreMiBOrSigned) {
  SettingsBlock s;
  SetDefaultSettings(&s, true);
  bool isSigned = true;
  EXPECT_EQ(BindingShownNumber(s, Bound("Limit"), &isSigned), 10u);
  EXPECT_FALSE(isSigned);
  s.file.Limit = -1;  // 0xFFFFFFFF from a file
  EXPECT_EQ(BindingShownNumber(s, Bound("Limit"), &isSigned), 4095u);
  s.edit.KeepX = -2;
  EXPECT_EQ(static_cast<i32>(BindingShownNumber(s, Bound("KeepX"), &isSigned)), -2);
  EXPECT_TRUE(isSigned);
}

TEST(SettingsBindings, MultiClickBoxesAreInvertedBitsAndAMCopyHasLevels) {
  SettingsBlock s;
  SetDefaultSettings(&s, true);
  ASSERT_EQ(s.edit.NoMClks, 18);
  const bool shown[5] = {true, false, true, true, false};
  for (int bit = 0; bit < 5; bit++) EXPECT_EQ(BindingChecked(s, Bound("NoMClks", bit)), shown[bit]) << bit;
  StoreBindingCheck(&s, Bound("NoMClks", 0), false);
  EXPECT_EQ(s.edit.NoMClks, 19);
  s.edit.NoMClks = -1;
  for (int bit = 0; bit < 5; bit++) StoreBindingCheck(&s, Bound("NoMClks", bit), true);
  EXPECT_EQ(static_cast<u32>(s.edit.NoMClks), 0xFFFFFFE0u) << "only bits 0-4 belong to the boxes";

  const struct {
    bool copy, ctrl;
    i32 value;
  } kLevels[] = {{false, false, 0}, {true, false, 1}, {true, true, 2}, {false, true, 0}};
  for (const auto &l : kLevels) {
    s.edit.AMCopy = 1;
    StoreBindingCheck(&s, Bound("AMCopy", 0), l.copy);
    StoreBindingCheck(&s, Bound("AMCopy", 1), l.ctrl);
    EXPECT_EQ(s.edit.AMCopy, l.value) << l.copy << l.ctrl;
    EXPECT_EQ(BindingChecked(s, Bound("AMCopy", 1)), l.value == 2);
  }
}

TEST(SettingsBindings, RadioIndexesInRangeAndTextsAtTheirSize) {
  SettingsBlock s;
  SetDefaultSettings(&s, true);
  StoreBindingRadio(&s, Bound("CASel"), 4);
  EXPECT_EQ(s.edit.CASel, 4);
  StoreBindingRadio(&s, Bound("CASel"), 5);
  StoreBindingRadio(&s, Bound("CRLF"), -1);
  EXPECT_EQ(s.edit.CASel, 4);
  EXPECT_EQ(s.file.CRLF, 0);
  const std::string longText(2000, 'x');
  const struct {
    const char *key;
    size_t most;
  } kTexts[] = {{"TDTGlue", 31}, {"Suffix", 31}, {"DefPath", 260}, {"FFilter", 1022}, {"Templ", 260}, {"TmpPath", 199}};
  for (const auto &t : kTexts) {
    StoreBindingText(&s, Bound(t.key), longText.c_str());
    EXPECT_EQ(std::string(static_cast<const char *>(BindingField(&s, Bound(t.key)))), longText.substr(0, t.most)) << t.key;
  }
}

TEST(SettingsBindings, EverySeparatorTakesASlotOfItsOwn) {
  SettingsBlock s;
  SetDefaultSettings(&s, true);
  for (const char *path : {"C:\\a", "--", "-", "--", "c:\\A", "C:\\b", "-"}) EXPECT_TRUE(AddFavourite(&s, path));
  const char *expected[] = {"C:\\a", "--", "-", "--", "C:\\b", "-", ""};
  for (int i = 0; i < 7; i++) EXPECT_STREQ(s.lists.favourites[i], expected[i]) << i;
  for (int i = 6; i < kFavourites; i++) EXPECT_TRUE(AddFavourite(&s, "--"));
  EXPECT_FALSE(AddFavourite(&s, "--")) << "the fifty-first";
}

}  // namespace
