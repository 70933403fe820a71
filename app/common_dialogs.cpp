#include "app/common_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/texts.h"

namespace {

const DialogAnswerer *g_answerer;

// "Text Files (*.txt)|*.txt|All Files|*.*" as the dialogs want it: NUL
// between the parts, two at the end.
void Filter(char *out, size_t cap) {
  size_t n = StrLenN(g_settings.file.FFilter, cap - 2);
  MemCopy(out, g_settings.file.FFilter, n);
  for (size_t i = 0; i < n; i++)
    if (out[i] == '|') out[i] = 0;
  out[n] = out[n + 1] = 0;
}

// The fields every file dialog here fills: owner, filter list, path.
OPENFILENAMEA Fields(HWND owner, char *path, const char *filter) {
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = path;
  ofn.nMaxFile = kPathChars;
  return ofn;
}

OPENFILENAMEA Base(HWND owner, char *path, char *filter, size_t filterCap) {
  Filter(filter, filterCap);
  OPENFILENAMEA ofn = Fields(owner, path, filter);
  ofn.lpstrInitialDir = g_settings.file.DefPath[0] ? g_settings.file.DefPath : nullptr;
  return ofn;
}

}  // namespace

const DialogAnswerer *InstallDialogAnswerer(const DialogAnswerer *answerer) {
  const DialogAnswerer *old = g_answerer;
  g_answerer = answerer;
  return old;
}

bool ChooseFileToOpen(HWND owner, char *path) {
  if (g_answerer) return g_answerer->open && g_answerer->open(g_answerer->context, path);
  char filter[1100];
  path[0] = 0;
  OPENFILENAMEA ofn = Base(owner, path, filter, sizeof filter);
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  return GetOpenFileNameA(&ofn) != FALSE;
}

bool ChooseFileToSave(HWND owner, char *path) {
  if (g_answerer) return g_answerer->save && g_answerer->save(g_answerer->context, path);
  char filter[1100];
  OPENFILENAMEA ofn = Base(owner, path, filter, sizeof filter);
  ofn.lpstrDefExt = g_settings.file.Suffix[0] ? g_settings.file.Suffix : nullptr;
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | (g_settings.file.SaveRO ? 0 : OFN_NOREADONLYRETURN);
  return GetSaveFileNameA(&ofn) != FALSE;
}

bool ChooseConfigFile(HWND owner, char *path, bool forSave) {
  if (g_answerer) {
    bool (*hook)(void *, char *) = forSave ? g_answerer->save : g_answerer->open;
    return hook && hook(g_answerer->context, path);
  }
  // "Config (*.ini)", its pattern, and the two closing NULs.
  char filter[64];
  char *p = StrCopyN(filter, Text(TXT_CONFIG_FILTER), 40);
  p = StrCopy(p + 1, "*.ini");
  p[1] = 0;
  OPENFILENAMEA ofn = Fields(owner, path, filter);
  ofn.lpstrDefExt = "ini";
  if (forSave) {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
    return GetSaveFileNameA(&ofn) != FALSE;
  }
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  return GetOpenFileNameA(&ofn) != FALSE;
}

bool ChooseColour(HWND owner, u32 *color) {
  if (g_answerer) return g_answerer->color && g_answerer->color(g_answerer->context, color);
  static COLORREF custom[16];  // the one list of the process
  CHOOSECOLORA cc = {};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = owner;
  cc.rgbResult = *color & 0xFFFFFF;
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
  if (!ChooseColorA(&cc)) return false;
  *color = cc.rgbResult;
  return true;
}

bool ChooseFontRecord(HWND owner, FontRecord *record) {
  if (g_answerer) return g_answerer->font && g_answerer->font(g_answerer->context, record);
  LOGFONTA lf;
  static_assert(sizeof lf == sizeof *record, "a font record is a LOGFONTA");
  MemCopy(&lf, record, sizeof lf);
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  int points = record->height < 0 ? -record->height : record->height;
  if (points < 1 || points > kMaxFontPoints) points = 10;
  lf.lfHeight = -MulDiv(points, dpi, 72);
  CHOOSEFONTA cf = {};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = owner;
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVERTFONTS;
  if (!ChooseFontA(&cf)) return false;
  MemCopy(record, &lf, sizeof lf);
  const int pixels = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
  record->height = cf.iPointSize > 0 ? (cf.iPointSize + 5) / 10 : MulDiv(pixels, 72, dpi);
  if (record->height < 1) record->height = 1;
  return true;
}

bool ChooseFolder(HWND owner, char *path) {
  if (g_answerer) return g_answerer->folder && g_answerer->folder(g_answerer->context, path);
  BROWSEINFOA bi = {};
  bi.hwndOwner = owner;
  bi.pszDisplayName = path;
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST list = SHBrowseForFolderA(&bi);
  if (!list) return false;
  char chosen[MAX_PATH];
  const bool ok = SHGetPathFromIDListA(list, chosen) != FALSE;
  ILFree(list);
  if (ok) StrCopyN(path, chosen, kPathChars);
  return ok;
}

namespace {
const PrintDialogAnswerer *g_printAnswerer;
}  // namespace

const PrintDialogAnswerer *InstallPrintDialogAnswerer(const PrintDialogAnswerer *answerer) {
  const PrintDialogAnswerer *old = g_printAnswerer;
  g_printAnswerer = answerer;
  return old;
}

HRESULT ShowPrintDialog(PRINTDLGEXA *pd) {
  if (g_printAnswerer) return g_printAnswerer->print ? g_printAnswerer->print(g_printAnswerer->context, pd) : E_FAIL;
  return PrintDlgExA(pd);
}

BOOL ShowPageSetupDialog(PAGESETUPDLGA *psd) {
  if (g_printAnswerer)
    return g_printAnswerer->pageSetup ? g_printAnswerer->pageSetup(g_printAnswerer->context, psd) : FALSE;
  return PageSetupDlgA(psd);
}
