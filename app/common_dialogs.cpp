#include "app/common_dialogs.h"

#include <commdlg.h>

#include "config/config_state.h"
#include "foundation/bytes.h"

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

OPENFILENAMEA Base(HWND owner, char *path, char *filter, size_t filterCap) {
  Filter(filter, filterCap);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = path;
  ofn.nMaxFile = kPathChars;
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
