#include "app/goto_dialog.h"

#include "app/app_state.h"
#include "document/text_store.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "foundation/format.h"
#include "resources/resource.h"

namespace {

struct GotoContext {
  HWND editor;
  GotoBox focus;   // the box focused at the start
  GotoBox active;  // the box that last had the focus
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Digits up to the end (after trailing blanks); false for none or an
// overflow of 31 bits.
bool ParseCount(const char *p, i64 *out) {
  if (*p < '0' || *p > '9') return false;
  i64 n = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    n = n * 10 + (*p - '0');
    if (n > 0x7FFFFFFF) return false;
  }
  while (IsBlank(*p)) p++;
  if (*p) return false;
  *out = n;
  return true;
}

int BoxId(GotoBox box) { return box == kGotoBoxLine ? IDC_GOTO_LINE : IDC_GOTO_POSITION; }

// A static text of the dialog holds a format ("of %d"); it gets its number.
void FillNumber(HWND dialog, int id, u32 number) {
  char format[64], text[96];
  if (!GetDlgItemTextA(dialog, id, format, sizeof format)) return;
  Format(text, sizeof text, format, static_cast<int>(number));
  SetDlgItemTextA(dialog, id, text);
}

void CenterOverOwner(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (!owner) return;
  RECT o, d;
  GetWindowRect(owner, &o);
  GetWindowRect(dialog, &d);
  int x = o.left + ((o.right - o.left) - (d.right - d.left)) / 2;
  int y = o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 3;
  SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SelectBox(HWND dialog, GotoBox box) {
  HWND edit = GetDlgItem(dialog, BoxId(box));
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
}

void OnInit(HWND dialog, GotoContext *context) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
  u32 line = 0, lines = 1, position = 0, length = 0;
  if (EditorWindow *ed = EditorOf(context->editor)) {
    const Document *doc = ed->doc;
    line = doc->caret.hardLine;
    position = doc->caret.position;
    length = doc->store.length;
    lines = RowCount(&doc->store) ? HardLineCount(&doc->store) : 1;
  }
  SetDlgItemInt(dialog, IDC_GOTO_LINE, line + 1, FALSE);
  SetDlgItemInt(dialog, IDC_GOTO_POSITION, position + 1, FALSE);
  FillNumber(dialog, IDC_GOTO_LINE_RANGE, lines);
  FillNumber(dialog, IDC_GOTO_POSITION_RANGE, length);
  SendDlgItemMessageA(dialog, IDC_GOTO_LINE, EM_LIMITTEXT, 24, 0);
  SendDlgItemMessageA(dialog, IDC_GOTO_POSITION, EM_LIMITTEXT, 24, 0);
  CenterOverOwner(dialog);
  context->active = context->focus;
  SelectBox(dialog, context->focus);
}

void OnOk(HWND dialog, GotoContext *context) {
  char text[32];
  GetDlgItemTextA(dialog, BoxId(context->active), text, sizeof text);
  GotoRequest request;
  if (!ParseGotoEntry(text, context->active, &request)) {
    MessageBeep(MB_ICONWARNING);
    SelectBox(dialog, context->active);
    return;
  }
  if (IsDlgButtonChecked(dialog, IDC_GOTO_EXTEND) == BST_CHECKED) request.flags |= kGotoExtend;
  SendMessageA(context->editor, EDM_GOTO, static_cast<WPARAM>(request.number), static_cast<LPARAM>(request.flags));
  SendMessageA(context->editor, EM_SCROLLCARET, 0, 0);
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK GotoDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  GotoContext *context = reinterpret_cast<GotoContext *>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<GotoContext *>(lParam));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (!context) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_GOTO_LINE:
        case IDC_GOTO_POSITION:
          if (HIWORD(wParam) == EN_SETFOCUS)
            context->active = LOWORD(wParam) == IDC_GOTO_LINE ? kGotoBoxLine : kGotoBoxPosition;
          return TRUE;
        case IDOK:
          OnOk(dialog, context);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

bool ParseGotoEntry(const char *text, GotoBox box, GotoRequest *out) {
  const u32 kind = box == kGotoBoxLine ? kGotoLine : kGotoPosition;
  const char *p = text;
  while (IsBlank(*p)) p++;
  i64 n = 0;
  if (*p == '+' || *p == '-') {
    const bool back = *p == '-';
    if (!ParseCount(p + 1, &n)) return false;
    out->number = static_cast<i32>(back ? -n : n);
    out->flags = kind | kGotoRelative;
    return true;
  }
  if (*p == '$') {
    // The end, or n before it: the go-to request counts negative numbers
    // from the end, -1 being the last line or the end of the text.
    p++;
    while (IsBlank(*p)) p++;
    if (*p == '-') {
      p++;
      while (IsBlank(*p)) p++;
      if (!ParseCount(p, &n)) return false;
    } else if (*p) {
      return false;
    }
    out->number = static_cast<i32>(-1 - n);
    out->flags = kind;
    return true;
  }
  if (!ParseCount(p, &n)) return false;
  // Shown from 1; 0 stands for the end, as on the command line.
  out->number = static_cast<i32>(n - 1);
  out->flags = kind;
  return true;
}

int RunGotoDialog(HWND owner, HWND editor, GotoBox focus) {
  if (!editor) return 32;
  GotoContext context = {editor, focus, focus};
  INT_PTR r = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_GOTO), owner, GotoDlgProc,
                              reinterpret_cast<LPARAM>(&context));
  return r == IDOK ? 0 : 32;
}
