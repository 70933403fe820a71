// Every setting and every persisted list of the program, in one record.
//
// The fields are named after their configuration keys ("FHide+" is FHidePlus,
// "UTF-8" Utf8). Three copies exist (config_state.h): the live one that the
// program reads and changes, the baseline (the values last loaded from or
// written to the store: a key is written only when its live value differs),
// and the pending one that a save builds and that becomes the baseline when
// the save succeeds. Everything up to `lists` is what Restore defaults resets.
#pragma once

#include "foundation/types.h"

// A Windows LOGFONTA, stored whole; the height holds the size in points.
struct FontRecord {
  i32 height, width, escapement, orientation, weight;
  u8 italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
  char faceName[32];
};
static_assert(sizeof(FontRecord) == 60, "the stored font record is a LOGFONTA");
// The largest font size the program makes, in points (the font chooser's).
constexpr i32 kMaxFontPoints = 1638;

constexpr i32 kNotSaved = static_cast<i32>(0x80000000u);  // a window edge or size not saved

struct SaveSettings {
  i32 Save, Place, Size, Opts, MSetts, ESetts, FSetts, Search, Tools, Filters, Clips, IniUPF, IniCWD;
};

struct PlaceSettings {
  i32 Top, Left, Width, Height, Maxed, FulScr;
};

// The primary (1) and secondary (2) search of the search bar.
struct SearchBarSettings {
  char Patt[65535];
  char Repl[65535];
  i32 Case, Wrds, Escs, RgEx, NWA, Mim;
};

struct OptsSettings {
  i32 OnTop, Status, WWrap, RWrap, Zoom, LnNums, PrnTabs, PrnSpcs, PrnNlns, PrnLens, TxtClrz, Urls, HiliSel, CFont;
  u32 ODO[2];  // the typing odometer: low and high word
  SearchBarSettings bar[2];
};

struct MainSettings {
  i32 Esc, AskEsc, DNoSave, FulPath, SBNoAsc, SBNoSav;
  char TDTGlue[32];
  i32 TDTSecs, LOGDate, FSugg, FSgKEsc, FRCase, FRWrds, FRRegEx, FHide, FHidePlus, FNoThrd, FNlEsc, FMaxLBA, FInc,
      FHist, FHistSL, FHistCL, TPerSel, TPerScr, TNoThrd, TASel, TXMLAtr, TXMLEmp, TSortIC, TSortSv, TColsSv,
      TCmpFnt, TCmpSv;
  char LcDS[8], LcTS[8];
  i32 LcNM;
  char LcNS[8], LcPS[8];
  char LcTF[256], LcDLF[256], LcDSF[256];
};

struct EditSettings {
  i32 Tab, LMargin, KeepX, KeepY, NoHome, Indent, AutoTab, NoTabs, SWord, _word, NoOver, BoldOvr, CurrLn, NoMClks,
      AMCopy, AMPaste, MiPaste, CASel, NoMUndo, RedUndo, InsCtrl, CWICase, CWLong, CWSort, HiSelLn, HiSelMC;
  u32 CLTBack, CLTText, CLTCurr, CLTClrz, CLTUrl, CLTSpc, CLSBack, CLSText, CLHiSel, CLHiF1, CLHiF2, CLGBack,
      CLGBord, CLGText, CLRWrap;
  FontRecord LF1_, LF2_;
  i32 PrnLeft, PrnTop, PrnRght, PrnBott;
  FontRecord LFP_;
};

struct FileSettings {
  i32 Encode, CRLF, BOM, Limit;
  char Suffix[32];
  char DefPath[261];
  char FFilter[1023];
  char Templ[261];
  char TmpPath[200];
  i32 GTitle, NoMixNl, BAK, BAKKeep, BAKTemp, BAKHid, BAKDel, AS, ASTime, ASOrig, ASTemp, ASHid, ASNoNm, SFlush,
      SaveRO, SStream, OnlyOne, Watch, ARevert, WarnBin, AutoUni;
};

// How a text is cut into columns; shared by the column sets and the sort keys.
struct ColumnDef {
  i32 CC, CFr, CTo;
  char CD[256];
  i32 CDs, CDc, CRl, RC, RFr, RTo, RRl;
};

struct SortKey {
  i32 Use, Dsc, Num, IC, IWs, IPn, IBn, ICt, INa, ICl;
  char ICd[256];
  i32 IBl;
  char IBd[256];
  ColumnDef column;
};

struct ToolSettings {
  char EnBefor[1024], EnAfter[1024];
  char XmlName[256];
  char XmlAttr[1024];
  i32 XmlEmpt;
  char QtText[1024];
  i32 QtEmpty, QtSpace;
  char ClText[1024];
  i32 ClEmpty, ClSpace;
  char CtMask[1024];
  i32 CtEmpt, CtFrom, CtStep, CtRMin, CtRMax, CtView, UniJob, UniIC, UniEmpt, UniDup;
  char TrFind[1024], TrRepl[1024];
  i32 TrEsc, TrDel;
  char RepPatt[65535], RepRepl[65535];
  i32 RepCase, RepWrds, RepRgEx, RepMim, CmpIC, CmpIS, CmpIN;
  char GrFind[65535];
  i32 GrRem, GrOnly, GrCase, GrWWord, GrWLine, GrEsc, GrRgEx, GrNmbr, GrEmpty, GrBefor, GrAfter;
  SortKey sort[5];
  ColumnDef columns[9];
  char CmpStr1[65535], CmpStr2[65535];
};

// ---- persisted lists ----

constexpr int kFavourites = 50;
constexpr int kRecentFiles = 10;
constexpr int kSearchHistory = 50;
constexpr int kFilters = 50;

struct FindEntry {
  char Fnd[1024];
  i32 MC, WW, Esc, REx, NWA;
  u32 FTx;  // time stamp
};

struct ReplaceEntry {
  char Rep[1024];
  i32 Mim;
  u32 RTx;  // time stamp
};

struct FilterRecord {
  char name[256];
  char Cmd[1024];
  char Desc[8192];
  i32 SkipDlg, NoIn, NoOut, MixOuts, MsgOut, Utf8, IRet, Wait, Exit, ExitWS;
};

struct UpdateSettings {
  char Hash[16];
  i32 Auto;
  u32 Fail, Last, Inc;
  u32 Version;  // 200 when the last check found a newer version, else 0
};

struct ListSettings {
  char favourites[kFavourites][kPathChars];
  char recent[kRecentFiles][kPathChars];  // oldest in slot 0
  u32 recentTime[kRecentFiles];
  FindEntry find[kSearchHistory];
  ReplaceEntry replace[kSearchHistory];
  FilterRecord filters[kFilters];
  UpdateSettings update;
};

struct SettingsBlock {
  SaveSettings save;
  PlaceSettings place;
  OptsSettings opts;
  MainSettings main;
  EditSettings edit;
  FileSettings file;
  ToolSettings tools;
  ListSettings lists;  // not reset by Restore defaults
};

// The defaults of every setting: the part before `lists` when `all` is false
// (Restore defaults), the whole block otherwise. Locale texts and colours come
// from the system.
void SetDefaultSettings(SettingsBlock *s, bool all);

// The limits applied after every load: the tab size 1..1023 (0 or less is 1),
// HiSelLn at least 1, ASTime 1..131072 seconds.
void ClampSettings(SettingsBlock *s);
