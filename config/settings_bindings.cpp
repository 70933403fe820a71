#include "config/settings_bindings.h"

#include "foundation/bytes.h"
#include "foundation/numbers.h"
#include "resources/resource.h"

namespace {

bool SameName(const char *a, const char *b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

constexpr u16 G = IDD_GENERAL_PAGE, E = IDD_EDIT_PAGE, A = IDD_APPEARANCE_PAGE, F = IDD_FILE_PAGE,
              L = IDD_SAVE_LOAD_PAGE, C = IDD_CLIPBOARD_PAGE, S = IDD_SEARCH_PAGE, T = IDD_TOOLS_PAGE,
              P = IDD_CONFIG_PAGE;

}  // namespace

const ControlBinding kControlBindings[] = {
    // General
    {G, IDC_ST_ESC, "Esc", kBindCheck, 0},
    {G, IDC_ST_ASKESC, "AskEsc", kBindCheck, 0},
    {G, IDC_ST_DNOSAVE, "DNoSave", kBindCheck, 0},
    {G, IDC_ST_FULPATH, "FulPath", kBindCheck, 0},
    {G, IDC_ST_AUTO, "Auto", kBindCheck, 0},
    {G, IDC_ST_SBNOASC, "SBNoAsc", kBindCheck, 0},
    {G, IDC_ST_SBNOSAV, "SBNoSav", kBindCheck, 0},
    {G, IDC_ST_SWORD, "SWord", kBindCheck, 0},
    {G, IDC_ST_UWORD, "_word", kBindCheck, 0},
    {G, IDC_ST_TDTGLUE, "TDTGlue", kBindText, 0},
    {G, IDC_ST_TDTSECS, "TDTSecs", kBindCheck, 0},
    {G, IDC_ST_LOGDATE, "LOGDate", kBindCheck, 0},
    // Edit
    {E, IDC_ST_TAB, "Tab", kBindNumber, 0},
    {E, IDC_ST_LMARGIN, "LMargin", kBindNumber, 0},
    {E, IDC_ST_CURRLN, "CurrLn", kBindCheck, 0},
    {E, IDC_ST_NOHOME, "NoHome", kBindCheck, 0},
    {E, IDC_ST_NOOVER, "NoOver", kBindCheck, 0},
    {E, IDC_ST_BOLDOVR, "BoldOvr", kBindCheck, 0},
    {E, IDC_ST_NOMUNDO, "NoMUndo", kBindCheck, 0},
    {E, IDC_ST_REDUNDO, "RedUndo", kBindCheck, 0},
    {E, IDC_ST_INSCTRL, "InsCtrl", kBindCheck, 0},
    {E, IDC_ST_MCLICK_WORD, "NoMClks", kBindBitOff, 0},
    {E, IDC_ST_MCLICK_PART, "NoMClks", kBindBitOff, 1},
    {E, IDC_ST_MCLICK_LINE, "NoMClks", kBindBitOff, 2},
    {E, IDC_ST_MCLICK_PARAGRAPH, "NoMClks", kBindBitOff, 3},
    {E, IDC_ST_MCLICK_DOCUMENT, "NoMClks", kBindBitOff, 4},
    {E, IDC_ST_CWICASE, "CWICase", kBindCheck, 0},
    {E, IDC_ST_CWLONG, "CWLong", kBindCheck, 0},
    {E, IDC_ST_CWSORT, "CWSort", kBindCheck, 0},
    {E, IDC_ST_INDENT, "Indent", kBindCheck, 0},
    {E, IDC_ST_AUTOTAB, "AutoTab", kBindCheck, 0},
    {E, IDC_ST_NOTABS, "NoTabs", kBindCheck, 0},
    {E, IDC_ST_KEEPY, "KeepY", kBindNumber, 0},
    {E, IDC_ST_KEEPX, "KeepX", kBindNumber, 0},
    {E, IDC_ST_HISELLN, "HiSelLn", kBindNumber, 0},
    {E, IDC_ST_HISELMC, "HiSelMC", kBindCheck, 0},
    // Appearance
    {A, IDC_ST_CLTTEXT, "CLTText", kBindColour, 0},
    {A, IDC_ST_CLTBACK, "CLTBack", kBindColour, 0},
    {A, IDC_ST_CLTSPC, "CLTSpc", kBindColour, 0},
    {A, IDC_ST_CLTCLRZ, "CLTClrz", kBindColour, 0},
    {A, IDC_ST_CLTURL, "CLTUrl", kBindColour, 0},
    {A, IDC_ST_CLTCURR, "CLTCurr", kBindColour, 0},
    {A, IDC_ST_CLSTEXT, "CLSText", kBindColour, 0},
    {A, IDC_ST_CLSBACK, "CLSBack", kBindColour, 0},
    {A, IDC_ST_CLHISEL, "CLHiSel", kBindColour, 0},
    {A, IDC_ST_CLGTEXT, "CLGText", kBindColour, 0},
    {A, IDC_ST_CLGBACK, "CLGBack", kBindColour, 0},
    {A, IDC_ST_CLGBORD, "CLGBord", kBindColour, 0},
    {A, IDC_ST_CLRWRAP, "CLRWrap", kBindColour, 0},
    {A, IDC_ST_CLHIF1, "CLHiF1", kBindColour, 0},
    {A, IDC_ST_CLHIF2, "CLHiF2", kBindColour, 0},
    {A, IDC_ST_FONT1, "LF1_", kBindFont, 0},
    {A, IDC_ST_FONT2, "LF2_", kBindFont, 0},
    {A, IDC_ST_FONTP, "LFP_", kBindFont, 0},
    // File
    {F, IDC_ST_ENCODE, "Encode", kBindRadio, 4},
    {F, IDC_ST_BOM, "BOM", kBindCheck, 0},
    {F, IDC_ST_CRLF, "CRLF", kBindRadio, 3},
    {F, IDC_ST_SUFFIX, "Suffix", kBindText, 0},
    {F, IDC_ST_DEFPATH, "DefPath", kBindText, 0},
    {F, IDC_ST_FFILTER, "FFilter", kBindText, 0},
    {F, IDC_ST_GTITLE, "GTitle", kBindCheck, 0},
    // Save/Load
    {L, IDC_ST_TEMPL, "Templ", kBindText, 0},
    {L, IDC_ST_LIMIT, "Limit", kBindMiB, 0},
    {L, IDC_ST_ONLYONE, "OnlyOne", kBindCheck, 0},
    {L, IDC_ST_WATCH, "Watch", kBindCheck, 0},
    {L, IDC_ST_AREVERT, "ARevert", kBindCheck, 0},
    {L, IDC_ST_WARNBIN, "WarnBin", kBindCheck, 0},
    {L, IDC_ST_AUTOUNI, "AutoUni", kBindCheck, 0},
    {L, IDC_ST_BAK, "BAK", kBindCheck, 0},
    {L, IDC_ST_BAKKEEP, "BAKKeep", kBindCheck, 0},
    {L, IDC_ST_BAKTEMP, "BAKTemp", kBindCheck, 0},
    {L, IDC_ST_BAKHID, "BAKHid", kBindCheck, 0},
    {L, IDC_ST_BAKDEL, "BAKDel", kBindCheck, 0},
    {L, IDC_ST_AS, "AS", kBindCheck, 0},
    {L, IDC_ST_ASTIME, "ASTime", kBindNumber, 0},
    {L, IDC_ST_ASORIG, "ASOrig", kBindCheck, 0},
    {L, IDC_ST_ASTEMP, "ASTemp", kBindCheck, 0},
    {L, IDC_ST_ASHID, "ASHid", kBindCheck, 0},
    {L, IDC_ST_ASNONM, "ASNoNm", kBindCheck, 0},
    {L, IDC_ST_SAVERO, "SaveRO", kBindCheck, 0},
    {L, IDC_ST_NOMIXNL, "NoMixNl", kBindCheck, 0},
    {L, IDC_ST_SFLUSH, "SFlush", kBindCheck, 0},
    {L, IDC_ST_SSTREAM, "SStream", kBindCheck, 0},
    {L, IDC_ST_TMPPATH, "TmpPath", kBindText, 0},
    // Clipboard
    {C, IDC_ST_CASEL, "CASel", kBindRadio, 5},
    {C, IDC_ST_AMCOPY, "AMCopy", kBindLevel, 1},
    {C, IDC_ST_AMCOPY_CTRL, "AMCopy", kBindLevel, 2},
    {C, IDC_ST_AMPASTE, "AMPaste", kBindRadio, 2},
    {C, IDC_ST_MIPASTE, "MiPaste", kBindCheck, 0},
    // Search
    {S, IDC_ST_FSUGG, "FSugg", kBindCheck, 0},
    {S, IDC_ST_FSGKESC, "FSgKEsc", kBindCheck, 0},
    {S, IDC_ST_FRCASE, "FRCase", kBindCheck, 0},
    {S, IDC_ST_FRWRDS, "FRWrds", kBindCheck, 0},
    {S, IDC_ST_FRREGEX, "FRRegEx", kBindCheck, 0},
    {S, IDC_ST_FHIDE, "FHide", kBindCheck, 0},
    {S, IDC_ST_FHIDEPLUS, "FHide+", kBindCheck, 0},
    {S, IDC_ST_FHIST, "FHist", kBindCheck, 0},
    {S, IDC_ST_FHISTSL, "FHistSL", kBindCheck, 0},
    {S, IDC_ST_FNOTHRD, "FNoThrd", kBindCheck, 0},
    {S, IDC_ST_FNLESC, "FNlEsc", kBindCheck, 0},
    // Tools
    {T, IDC_ST_TPERSEL, "TPerSel", kBindCheck, 0},
    {T, IDC_ST_TPERSCR, "TPerScr", kBindCheck, 0},
    {T, IDC_ST_TNOTHRD, "TNoThrd", kBindCheck, 0},
    {T, IDC_ST_TASEL, "TASel", kBindRadio, 5},
    {T, IDC_ST_TXMLATR, "TXMLAtr", kBindCheck, 0},
    {T, IDC_ST_TXMLEMP, "TXMLEmp", kBindCheck, 0},
    {T, IDC_ST_TSORTIC, "TSortIC", kBindCheck, 0},
    {T, IDC_ST_TSORTSV, "TSortSv", kBindCheck, 0},
    {T, IDC_ST_TCOLSSV, "TColsSv", kBindCheck, 0},
    {T, IDC_ST_TCMPFNT, "TCmpFnt", kBindCheck, 0},
    {T, IDC_ST_TCMPSV, "TCmpSv", kBindCheck, 0},
    // Settings: the categories saved at exit
    {P, IDC_ST_SAVE, "Save", kBindCheck, 0},
    {P, IDC_ST_PLACE, "Place", kBindCheck, 0},
    {P, IDC_ST_SIZE, "Size", kBindCheck, 0},
    {P, IDC_ST_OPTS, "Opts", kBindCheck, 0},
    {P, IDC_ST_MSETTS, "MSetts", kBindCheck, 0},
    {P, IDC_ST_ESETTS, "ESetts", kBindCheck, 0},
    {P, IDC_ST_FSETTS, "FSetts", kBindCheck, 0},
    {P, IDC_ST_SEARCH, "Search", kBindCheck, 0},
    {P, IDC_ST_TOOLS, "Tools", kBindCheck, 0},
    {P, IDC_ST_FILTERS, "Filters", kBindCheck, 0},
    {P, IDC_ST_CLIPS, "Clips", kBindCheck, 0},
};
const int kControlBindingCount = static_cast<int>(sizeof kControlBindings / sizeof kControlBindings[0]);

const KeyEntry *FindSettingKey(const char *name) {
  // The sections whose rows are fields of the SettingsBlock itself.
  static const KeyTable *const kTables[] = {&kSaveKeys, &kOptsKeys, &kMainKeys, &kEditKeys,
                                            &kFileKeys, &kToolKeys, &kUpdateKeys};
  for (const KeyTable *table : kTables)
    for (int i = 0; i < table->count; i++) {
      const KeyEntry &row = table->rows[i];
      if (!(row.type & kKeyAlias) && SameName(row.name, name)) return &row;
    }
  return nullptr;
}

void *BindingField(SettingsBlock *s, const ControlBinding &b) {
  const KeyEntry *row = FindSettingKey(b.key);
  return row ? reinterpret_cast<char *>(s) + row->offset : nullptr;
}

u32 BindingTextSize(const ControlBinding &b) {
  const KeyEntry *row = FindSettingKey(b.key);
  return row && (row->type & kKeyTypeMask) == kKeyString ? row->size : 0;
}

namespace {

i32 Value(const SettingsBlock &s, const ControlBinding &b) {
  const void *field = BindingField(const_cast<SettingsBlock *>(&s), b);
  i32 v = 0;
  if (field) MemCopy(&v, field, sizeof v);
  return v;
}

void SetValue(SettingsBlock *s, const ControlBinding &b, i32 v) {
  if (void *field = BindingField(s, b)) MemCopy(field, &v, sizeof v);
}

}  // namespace

bool BindingChecked(const SettingsBlock &s, const ControlBinding &b) {
  const i32 v = Value(s, b);
  switch (b.kind) {
    case kBindBitOff: return (static_cast<u32>(v) & (1u << b.arg)) == 0;
    case kBindLevel: return v >= b.arg;
    default: return v != 0;
  }
}

i32 BindingRadioIndex(const SettingsBlock &s, const ControlBinding &b) { return Value(s, b); }

u32 BindingShownNumber(const SettingsBlock &s, const ControlBinding &b, bool *isSigned) {
  const i32 v = Value(s, b);
  *isSigned = b.kind == kBindNumber && v < 0;
  if (b.kind == kBindMiB) return static_cast<u32>(v) / kBytesPerMiB;
  return static_cast<u32>(v);
}

void StoreBindingCheck(SettingsBlock *s, const ControlBinding &b, bool checked) {
  const i32 v = Value(*s, b);
  switch (b.kind) {
    case kBindBitOff: {
      const u32 bit = 1u << b.arg;
      SetValue(s, b, static_cast<i32>(checked ? static_cast<u32>(v) & ~bit : static_cast<u32>(v) | bit));
      break;
    }
    case kBindLevel:
      if (b.arg <= 1) SetValue(s, b, checked ? 1 : 0);
      else if (checked && v >= b.arg - 1) SetValue(s, b, b.arg);
      break;
    default:
      SetValue(s, b, checked ? 1 : 0);
      break;
  }
}

void StoreBindingRadio(SettingsBlock *s, const ControlBinding &b, i32 index) {
  if (index >= 0 && index < b.arg) SetValue(s, b, index);
}

bool StoreBindingNumber(SettingsBlock *s, const ControlBinding &b, const char *text) {
  const char *end = text;
  const i64 parsed = ParseNumber(text, 10, &end);
  // A number has at least one digit after the blanks and the sign.
  if (end == text || !(end[-1] >= '0' && end[-1] <= '9')) return false;
  const u32 wrapped = static_cast<u32>(static_cast<u64>(parsed));
  if (b.kind == kBindMiB) {
    const u64 bytes = static_cast<u64>(wrapped) * kBytesPerMiB;
    SetValue(s, b, wrapped >= kMiBLimit ? 0 : static_cast<i32>(static_cast<u32>(bytes)));
  } else {
    SetValue(s, b, static_cast<i32>(wrapped));
  }
  ClampSettings(s);
  return true;
}

void StoreBindingText(SettingsBlock *s, const ControlBinding &b, const char *text) {
  const u32 size = BindingTextSize(b);
  if (!size) return;
  StrCopyN(static_cast<char *>(BindingField(s, b)), text, size);
}
