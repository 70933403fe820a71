// The key tables and the defaults against the documented list of keys.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "config/key_tables.h"
#include "config/settings.h"
#include "foundation/platform.h"

namespace {

// name:type[:size] with I (integer or flag), P (pair), S (string), B (binary),
// and "alias" for read-only old names; in table order.
const std::map<const KeyTable *, std::string> kExpected = {
    {&kSaveKeys, "Save:I Place:I Size:I Opts:I MSetts:I ESetts:I FSetts:I Search:I Tools:I Filters:I Clips:I "
                 "IniUPF:I IniCWD:I"},
    {&kPlacePositionKeys, "Top:I Left:I"},
    {&kPlaceSizeKeys, "Width:I Height:I Maxed:I FulScr:I"},
    {&kOptsKeys, "OnTop:I Status:I WWrap:I RWrap:I Zoom:I LnNums:I PrnTabs:I PrnSpcs:I PrnNlns:I PrnLens:I "
                 "TxtClrz:I Urls:I HiliSel:I CFont:I ODO:P"},
    {&kSearchBarKeys, "F%dPatt:S:65535 F%dRepl:S:65535 F%dCase:I F%dWrds:I F%dEscs:I F%dRgEx:I F%dNWA:I F%dMim:I"},
    {&kMainKeys, "Esc:I AskEsc:I DNoSave:I FulPath:I SBNoAsc:I SBNoSav:I TDTGlue:S:32 TDTSecs:I LOGDate:I FSugg:I "
                 "FSgKEsc:I FRCase:I FRWrds:I FRRegEx:I FHide:I FHide+:I FNoThrd:I FNlEsc:I FMaxLBA:I FInc:I "
                 "FHist:I FHistSL:I FHistCL:I TPerSel:I TPerScr:I TNoThrd:I TASel:I TXMLAtr:I TXMLEmp:I "
                 "TSortIC:I TSortSv:I TColsSv:I TCmpFnt:I TCmpSv:I LcDS:S:8 LcTS:S:8 LcNM:I LcNS:S:8 LcPS:S:8 "
                 "LcTF:S:256 LcDLF:S:256 LcDSF:S:256"},
    {&kEditKeys, "Tab:I LMargin:I KeepX:I KeepY:I NoHome:I Indent:I AutoTab:I NoTabs:I SWord:I _word:I NoOver:I "
                 "BoldOvr:I CurrLn:I NoMClks:I AMCopy:I AMPaste:I MiPaste:I CASel:I NoMUndo:I RedUndo:I "
                 "InsCtrl:I CWICase:I CWLong:I CWSort:I HiSelLn:I HiSelMC:I CLTBack:I CLTText:I CLTCurr:I "
                 "CLTClrz:I CLTUrl:I CLTSpc:I CLSBack:I CLSText:I CLHiSel:I CLHiF1:I CLHiF2:I CLGBack:I "
                 "CLGBord:I CLGText:I CLRWrap:I LogF1:B:60:alias LogF2:B:60:alias Font1:B:60:alias "
                 "Font2:B:60:alias LF1_:B:60 LF2_:B:60 PrnLeft:I PrnTop:I PrnRght:I PrnBott:I "
                 "PrnFont:B:60:alias LFP_:B:60"},
    {&kFileKeys, "Encode:I CRLF:I BOM:I Limit:I Suffix:S:32 DefPath:S:261 FFilter:S:1023 Templ:S:261 "
                 "TmpPath:S:200 GTitle:I NoMixNl:I Backup:I:alias BAK:I BAKKeep:I BAKTemp:I BAKHid:I BAKDel:I "
                 "AS:I ASTime:I ASOrig:I ASTemp:I ASHid:I ASNoNm:I SFlush:I SaveRO:I SStream:I OnlyOne:I "
                 "Watch:I ARevert:I WarnBin:I AutoUni:I"},
    {&kToolKeys, "EnBefor:S:1024 EnAfter:S:1024 XmlName:S:256 XmlAttr:S:1024 XmlEmpt:I QtText:S:1024 QtEmpty:I "
                 "QtSpace:I ClText:S:1024 ClEmpty:I ClSpace:I CtMask:S:1024 CtEmpt:I CtFrom:I CtStep:I CtRMin:I "
                 "CtRMax:I CtView:I UniJob:I UniIC:I UniEmpt:I UniDup:I TrFind:S:1024 TrRepl:S:1024 TrEsc:I "
                 "TrDel:I RepPatt:S:65535 RepRepl:S:65535 RepCase:I RepWrds:I RepRgEx:I RepMim:I CmpIC:I "
                 "CmpIS:I CmpIN:I GrFind:S:65535 GrRem:I GrOnly:I GrCase:I GrWWord:I GrWLine:I GrEsc:I "
                 "GrRgEx:I GrNmbr:I GrEmpty:I GrBefor:I GrAfter:I"},
    {&kSortKeys, "Sr%dUse:I Sr%dDsc:I Sr%dNum:I Sr%dIC:I Sr%dIWs:I Sr%dIPn:I Sr%dIBn:I Sr%dICt:I Sr%dINa:I "
                 "Sr%dICl:I Sr%dICd:S:256 Sr%dIBl:I Sr%dIBd:S:256 Sr%dCC:I Sr%dCFr:I Sr%dCTo:I Sr%dCD:S:256 "
                 "Sr%dCDs:I Sr%dCDc:I Sr%dCRl:I Sr%dRC:I Sr%dRFr:I Sr%dRTo:I Sr%dRRl:I"},
    {&kColumnKeys, "Ct%dCC:I Ct%dCFr:I Ct%dCTo:I Ct%dCD:S:256 Ct%dCDs:I Ct%dCDc:I Ct%dCRl:I Ct%dRC:I Ct%dRFr:I "
                   "Ct%dRTo:I Ct%dRRl:I"},
    {&kCompareKeys, "CmpStr1:S:65535 CmpStr2:S:65535"},
    {&kFindKeys, "%.2dFnd:S:1024 %.2dMC:I %.2dWW:I %.2dEsc:I %.2dREx:I %.2dNWA:I"},
    {&kReplaceKeys, "%.2dRep:S:1024 %.2dMim:I"},
    {&kFindTimeKeys, "%.2dFTx:I"},
    {&kReplaceTimeKeys, "%.2dRTx:I"},
    {&kFilterKeys, "Cmd:S:1024 Desc:S:8192 SkipDlg:I NoIn:I NoOut:I MixOuts:I MsgOut:I UTF-8:I IRet:I Wait:I "
                   "Exit:I ExitWS:I"},
    {&kUpdateKeys, "Hash:S:16 Auto:I Fail:I Last:I Inc:I"},
};

std::string Describe(const KeyEntry &row) {
  std::string s = row.name;
  switch (row.type & kKeyTypeMask) {
    case kKeyInt:
    case kKeyFlag: s += ":I"; break;
    case kKeyPair: s += ":P"; break;
    case kKeyString: s += ":S:" + std::to_string(row.size); break;
    case kKeyBinary: s += ":B:" + std::to_string(row.size); break;
    default: s += ":?";
  }
  if (row.type & kKeyAlias) s += ":alias";
  return s;
}

TEST(KeyTables, EveryKeyOnceWithItsTypeAndSize) {
  ASSERT_EQ(kExpected.size(), static_cast<size_t>(kAllTableCount));
  for (int t = 0; t < kAllTableCount; t++) {
    const KeyTable &table = *kAllTables[t].table;
    auto expected = kExpected.find(&table);
    ASSERT_NE(expected, kExpected.end()) << kAllTables[t].section;
    std::string actual;
    for (int i = 0; i < table.count; i++) actual += (i ? " " : "") + Describe(table.rows[i]);
    EXPECT_EQ(actual, expected->second) << kAllTables[t].section;
  }
}

TEST(KeyTables, NamesFitAndNeverRepeatWithinASection) {
  std::map<std::string, std::set<std::string>> seen;
  for (int t = 0; t < kAllTableCount; t++) {
    const KeyTable &table = *kAllTables[t].table;
    for (int i = 0; i < table.count; i++) {
      const KeyEntry &row = table.rows[i];
      EXPECT_LE(strlen(row.name), 7u) << row.name;
      for (int n : {0, 7, 49}) {
        char key[16];
        KeyName(row, n, key);
        EXPECT_LE(strlen(key), 7u) << key;
        if (n == 0 || strchr(row.name, '%')) {
          bool fresh = seen[kAllTables[t].section].insert(key).second;
          // Aliases share fields, never names; numbered keys differ by number.
          if (n == 0) EXPECT_TRUE(fresh) << kAllTables[t].section << " " << key;
        }
      }
    }
  }
  char key[16];
  KeyName(kFindKeys.rows[0], 7, key);
  EXPECT_STREQ(key, "07Fnd");
  KeyName(kSearchBarKeys.rows[0], 2, key);
  EXPECT_STREQ(key, "F2Patt");
}

size_t BaseSize(const KeyTable *table) {
  if (table == &kSearchBarKeys) return sizeof(SearchBarSettings);
  if (table == &kSortKeys) return sizeof(SortKey);
  if (table == &kColumnKeys) return sizeof(ColumnDef);
  if (table == &kFindKeys || table == &kFindTimeKeys) return sizeof(FindEntry);
  if (table == &kReplaceKeys || table == &kReplaceTimeKeys) return sizeof(ReplaceEntry);
  if (table == &kFilterKeys) return sizeof(FilterRecord);
  return sizeof(SettingsBlock);
}

TEST(KeyTables, FieldsLieInsideTheirRecordsAndAliasesPrecedeTheirNewNames) {
  for (int t = 0; t < kAllTableCount; t++) {
    const KeyTable &table = *kAllTables[t].table;
    for (int i = 0; i < table.count; i++) {
      const KeyEntry &row = table.rows[i];
      EXPECT_LE(row.offset + row.size, BaseSize(&table)) << row.name;
      if (!(row.type & kKeyAlias)) continue;
      bool later = false;
      for (int j = i + 1; j < table.count; j++)
        later = later || (table.rows[j].offset == row.offset && !(table.rows[j].type & kKeyAlias));
      EXPECT_TRUE(later) << row.name << " has no new name after it";
    }
  }
}

TEST(Settings, Defaults) {
  static SettingsBlock s;
  memset(&s, 0x5A, sizeof s);
  SetDefaultSettings(&s, true);
  struct Int {
    const char *name;
    i64 got, want;
  };
#define D(field, value) {#field, s.field, value}
  const Int ints[] = {
    D(save.Save, 1), D(save.Place, 0), D(save.Size, 0), D(save.IniUPF, 0), D(save.IniCWD, 1),
    D(place.Top, kNotSaved), D(place.Height, kNotSaved), D(opts.Status, 1), D(opts.RWrap, 0), D(main.Esc, 1),
    D(main.LcNM, 1), D(edit.Tab, 8), D(edit.LMargin, 8), D(edit.KeepX, 5), D(edit.KeepY, 1), D(edit.HiSelLn, 3),
    D(edit.NoMClks, 18), D(edit.AMCopy, 2), D(edit.SWord, 1), D(edit._word, 1), D(edit.CLHiSel, 0x8888FFu),
    D(edit.CLHiF1, 0xFFFF88u), D(edit.CLHiF2, 0x88FF88u), D(edit.LF1_.height, 10), D(edit.LFP_.height, 10),
    D(edit.PrnBott, 2500), D(file.Limit, 10485760), D(file.ASTime, 300), D(file.AS, 1), D(file.ASOrig, 0),
    D(main.FMaxLBA, 128), D(main.FHistCL, 10), D(main.TASel, 2), D(tools.sort[0].Use, 1), D(tools.sort[1].Use, 0),
    D(lists.update.Auto, 1),
  };
  for (const Int &v : ints) EXPECT_EQ(v.got, v.want) << v.name;
  struct Str {
    const char *name, *got, *want;
  };
  const Str strings[] = {
    D(main.TDTGlue, ", "), D(main.LcDS, "."), D(main.LcTS, ","), D(main.LcNS, "-"),
    D(edit.LF1_.faceName, "Courier New"), D(edit.LF2_.faceName, "Arial"), D(edit.LFP_.faceName, ""),
    D(file.Suffix, "txt"), D(file.FFilter, "Text Files (*.txt)|*.txt|All Files|*.*"), D(tools.CtMask, "%1"),
    D(lists.favourites[0], ""), D(opts.bar[1].Patt, ""),
  };
#undef D
  for (const Str &v : strings) EXPECT_STREQ(v.got, v.want) << v.name;
  EXPECT_STREQ(s.main.LcPS, "+");  // the locale gives none
  EXPECT_EQ(s.edit.CLTBack, PlatSysColor(5));
  EXPECT_EQ(s.edit.CLTText, PlatSysColor(8));
  // A quarter of the text colour, three quarters of the background.
  for (int shift = 0; shift < 24; shift += 8) {
    u32 t = (s.edit.CLTText >> shift) & 0xFF, b = (s.edit.CLTBack >> shift) & 0xFF;
    EXPECT_EQ((s.edit.CLTSpc >> shift) & 0xFF, ((t + b) / 2 + b) / 2);
  }

  // Restore defaults leaves the lists alone.
  strcpy(s.lists.favourites[3], "keep.txt");
  s.edit.Tab = 3;
  SetDefaultSettings(&s, false);
  EXPECT_EQ(s.edit.Tab, 8);
  EXPECT_STREQ(s.lists.favourites[3], "keep.txt");
}

TEST(Settings, Clamps) {
  static SettingsBlock s;
  SetDefaultSettings(&s, true);
  s.edit.Tab = 0;
  s.edit.HiSelLn = -4;
  s.file.ASTime = 200000;
  ClampSettings(&s);
  EXPECT_EQ(s.edit.Tab, 1);
  EXPECT_EQ(s.edit.HiSelLn, 1);
  EXPECT_EQ(s.file.ASTime, 131072);
  s.edit.Tab = 5000;
  ClampSettings(&s);
  EXPECT_EQ(s.edit.Tab, 1023);
}

}  // namespace
