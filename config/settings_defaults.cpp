#include "config/settings.h"

#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "foundation/texts.h"

namespace {

// System colour indexes (COLOR_*).
enum : int {
  kColorWindowFrame = 6,
  kColorWindow = 5,
  kColorWindowText = 8,
  kColorHighlight = 13,
  kColorHighlightText = 14,
  kColorButtonFace = 15,
  kColorButtonText = 18,
  kColorInfoBack = 24,
  kColorHotLight = 26,
};

// One quarter of `text` and three quarters of `back`, channel by channel.
u32 QuarterBlend(u32 text, u32 back) {
  u32 out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    u32 t = (text >> shift) & 0xFF, b = (back >> shift) & 0xFF;
    out |= (((t + b) / 2 + b) / 2) << shift;
  }
  return out;
}

void LocaleText(PlatLocaleItem item, char *dst, size_t cap, const char *fallback) {
  if (PlatLocaleInfo(item, dst, static_cast<int>(cap)) <= 0) StrCopyN(dst, fallback, cap);
}

void Font(FontRecord *f, const char *face) {
  MemZero(f, sizeof *f);
  f->height = 10;
  StrCopyN(f->faceName, face, sizeof f->faceName);
}

}  // namespace

void SetDefaultSettings(SettingsBlock *s, bool all) {
  MemZero(s, all ? sizeof *s : offsetof(SettingsBlock, lists));

  SaveSettings &v = s->save;
  v.Save = v.Opts = v.MSetts = v.ESetts = v.FSetts = v.Search = v.Tools = v.Filters = v.Clips = v.IniCWD = 1;

  s->place.Top = s->place.Left = s->place.Width = s->place.Height = kNotSaved;

  OptsSettings &o = s->opts;
  o.Status = o.WWrap = o.LnNums = o.TxtClrz = o.Urls = o.HiliSel = 1;

  MainSettings &m = s->main;
  m.Esc = 1;
  StrCopyN(m.TDTGlue, ", ", sizeof m.TDTGlue);
  m.FSugg = m.FHide = m.FHidePlus = m.FInc = m.FHist = m.FHistSL = 1;
  m.FMaxLBA = 128;
  m.FHistCL = 10;
  m.TASel = 2;
  m.TXMLAtr = m.TXMLEmp = 1;
  LocaleText(kLocaleDecimal, m.LcDS, sizeof m.LcDS, ".");
  LocaleText(kLocaleThousand, m.LcTS, sizeof m.LcTS, ",");
  char mode[8];
  m.LcNM = PlatLocaleInfo(kLocaleNegativeMode, mode, sizeof mode) > 0 ? mode[0] - '0' : 1;
  if (m.LcNM < 0 || m.LcNM > 4) m.LcNM = 1;
  LocaleText(kLocaleNegativeSign, m.LcNS, sizeof m.LcNS, "-");
  LocaleText(kLocalePositiveSign, m.LcPS, sizeof m.LcPS, "+");

  EditSettings &e = s->edit;
  e.Tab = e.LMargin = 8;
  e.KeepX = 5;
  e.KeepY = 1;
  e.AutoTab = e.SWord = e._word = e.BoldOvr = e.CurrLn = e.CWLong = 1;
  e.HiSelLn = 3;
  e.NoMClks = 18;
  e.AMCopy = 2;
  e.CLTBack = PlatSysColor(kColorWindow);
  e.CLTText = PlatSysColor(kColorWindowText);
  e.CLTCurr = PlatSysColor(kColorInfoBack);
  e.CLTClrz = e.CLTUrl = PlatSysColor(kColorHotLight);
  e.CLTSpc = QuarterBlend(e.CLTText, e.CLTBack);
  e.CLSBack = PlatSysColor(kColorHighlight);
  e.CLSText = PlatSysColor(kColorHighlightText);
  e.CLGBack = e.CLRWrap = PlatSysColor(kColorButtonFace);
  e.CLGBord = PlatSysColor(kColorWindowFrame);
  e.CLGText = PlatSysColor(kColorButtonText);
  e.CLHiSel = 0x8888FF;
  e.CLHiF1 = 0xFFFF88;
  e.CLHiF2 = 0x88FF88;
  Font(&e.LF1_, "Courier New");
  Font(&e.LF2_, "Arial");
  Font(&e.LFP_, "");
  e.PrnLeft = e.PrnTop = e.PrnRght = e.PrnBott = 2500;

  FileSettings &f = s->file;
  f.Limit = 10485760;
  StrCopyN(f.Suffix, "txt", sizeof f.Suffix);
  StrCopyN(f.FFilter, Text(TXT_FILE_FILTER), sizeof f.FFilter);
  f.GTitle = f.AS = f.ASHid = f.ASNoNm = f.SFlush = f.SStream = f.OnlyOne = f.Watch = f.WarnBin = 1;
  f.ASTime = 300;

  ToolSettings &t = s->tools;
  t.sort[0].Use = 1;
  StrCopyN(t.CtMask, "%1", sizeof t.CtMask);
  t.CtFrom = t.CtStep = 1;

  if (all) s->lists.update.Auto = 1;
}

void ClampSettings(SettingsBlock *s) {
  if (s->edit.Tab < 1) s->edit.Tab = 1;
  if (s->edit.Tab > 1023) s->edit.Tab = 1023;
  if (s->edit.HiSelLn < 1) s->edit.HiSelLn = 1;
  if (s->file.ASTime > 131072) s->file.ASTime = 131072;
  if (s->file.ASTime < 1) s->file.ASTime = 1;  // 0 would tick every 10 ms
}
