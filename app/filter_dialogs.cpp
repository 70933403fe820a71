#include "app/filter_dialogs.h"

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/tool_dialogs.h"
#include "config/config_state.h"
#include "editor/editor_commands.h"
#include "editor/editor_window.h"
#include "editor/tool_commands.h"
#include "editor/wait_window.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

FilterParams g_params[kFilters];

FilterRecord *Slot(int n) { return &g_settings.lists.filters[n]; }

// A name as a menu shows it: every "&" doubled, a tab as a space.
void MenuName(char *out, size_t size, const char *name) {
  size_t n = 0;
  for (size_t i = 0; name[i] && i < sizeof(FilterRecord::name) && n + 2 < size; i++) {
    const char c = name[i];
    if (c == '&') out[n++] = '&';
    out[n++] = c == '\t' ? ' ' : c;
  }
  out[n] = 0;
}

// ---- the launch dialog ----

INT_PTR CALLBACK LaunchDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

struct LaunchState {
  FilterJob *job;
  FilterCommandUse use;
  bool ready;  // the fields are filled: changes are the user's
};

void ShowCommand(HWND dialog, LaunchState *s) {
  FilterJob *job = s->job;
  for (int i = 0; i < kFilterParams; i++)
    GetDlgItemTextA(dialog, IDC_LAUNCH_PARAM + i, job->params.text[i], kFilterParamChars + 1);
  FilterCommandInput in = {};
  in.templ = job->record.Cmd;
  for (int i = 0; i < kFilterParams; i++) in.params[i] = job->params.text[i];
  in.path = job->path;
  in.selection = job->selection;
  in.selectionLength = job->selectionLength;
  const int r = ExpandFilterCommand(in, job->command, &s->use);
  SetDlgItemTextA(dialog, IDC_LAUNCH_EXECUTE,
                  r == kFilterCommandOk        ? job->command
                  : r == kFilterCommandTooLong ? Text(TXT_COMMAND_TOO_LONG)
                                               : Text(TXT_CANNOT_LAUNCH));
  for (int i = 0; i < kFilterParams; i++) {
    const bool used = (s->use.params >> i) & 1;
    EnableWindow(GetDlgItem(dialog, IDC_LAUNCH_PARAM + i), used);
    EnableWindow(GetDlgItem(dialog, IDC_LAUNCH_PARAM_LABEL + i), used);
  }
}

// A multi-line field shows each line break as CR LF.
void SetMultiLineText(HWND dialog, int control, const char *text) {
  const size_t n = StrLen(text);
  char *shown = static_cast<char *>(Allocate(n * 2 + 1));
  if (!shown) {
    SetDlgItemTextA(dialog, control, text);
    return;
  }
  size_t k = 0;
  for (size_t i = 0; i < n; i++) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown[k++] = '\r';
    shown[k++] = text[i];
    if (text[i] == '\r' && text[i + 1] != '\n') shown[k++] = '\n';
  }
  shown[k] = 0;
  SetDlgItemTextA(dialog, control, shown);
  Free(shown);
}

INT_PTR CALLBACK LaunchDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  LaunchState *s = reinterpret_cast<LaunchState *>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<LaunchState *>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetDlgItemTextA(dialog, IDC_LAUNCH_NAME, s->job->record.name);
      SetMultiLineText(dialog, IDC_LAUNCH_DESC, s->job->record.Desc);
      for (int i = 0; i < kFilterParams; i++) {
        SendDlgItemMessageA(dialog, IDC_LAUNCH_PARAM + i, EM_LIMITTEXT, kFilterParamChars, 0);
        SetDlgItemTextA(dialog, IDC_LAUNCH_PARAM + i, s->job->params.text[i]);
      }
      ShowCommand(dialog, s);
      s->ready = true;
      CenterDialogOverOwner(dialog);
      for (int i = 0; i < kFilterParams; i++) {
        if ((s->use.params >> i) & 1) {
          HWND first = GetDlgItem(dialog, IDC_LAUNCH_PARAM + i);
          SetFocus(first);
          SendMessageA(first, EM_SETSEL, 0, -1);
          return FALSE;
        }
      }
      return TRUE;
    }
    case WM_COMMAND: {
      if (!s) return FALSE;
      const int id = LOWORD(wParam);
      if (id >= IDC_LAUNCH_PARAM && id < IDC_LAUNCH_PARAM + kFilterParams && HIWORD(wParam) == EN_CHANGE) {
        if (s->ready) ShowCommand(dialog, s);
        return TRUE;
      }
      if (id == IDOK || id == IDCANCEL) {
        if (id == IDOK) ShowCommand(dialog, s);  // the fields as they stand
        EndDialog(dialog, id);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---- running a filter ----

int RunSlot(EditorWindow *ed, int slot, bool again);

int RunAgain(void *context, EditorWindow *ed) {
  return RunSlot(ed, static_cast<int>(reinterpret_cast<intptr_t>(context)), true);
}

LastToolEntry g_lastTool[kFilters];

int RunSlot(EditorWindow *ed, int slot, bool again) {
  const FilterRecord &record = *Slot(slot);
  if (!record.name[0] || !ed) return kResultCancelled;
  FilterJob *job = static_cast<FilterJob *>(Allocate(sizeof(FilterJob)));
  if (!job) {
    AskUser(g_app.mainWindow, TXT_OUT_OF_MEMORY, kAskWarning);
    return kResultReported;
  }
  MemZero(job, sizeof *job);
  job->record = record;
  // A stored text may come unterminated: each one ends within its field.
  job->record.name[sizeof job->record.name - 1] = 0;
  job->record.Cmd[sizeof job->record.Cmd - 1] = 0;
  job->record.Desc[sizeof job->record.Desc - 1] = 0;
  job->params = g_params[slot];
  const Document *doc = ed->doc;
  StrCopyN(job->path, doc->filePath, sizeof job->path);
  const u32 a = doc->selStart->position, b = doc->selEnd->position;
  const u32 to = b - a > kFilterSelectionBytes ? a + kFilterSelectionBytes : b;
  job->selectionLength = ReadText(&doc->store, a, to, job->selection, kFilterSelectionBytes, 0, nullptr);
  job->selectionLength = FilterSelectionBytes(job->selection, job->selectionLength);
  job->owner = g_app.mainWindow;
  job->notify = g_app.mainWindow;
  if (!again && !record.SkipDlg) {
    LaunchState state = {job, {}, false};
    const INT_PTR r = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_FILTER_LAUNCH), g_app.mainWindow,
                                      LaunchDlgProc, reinterpret_cast<LPARAM>(&state));
    if (r != IDOK) {
      Free(job);
      return kResultCancelled;
    }
    g_params[slot] = job->params;
  }
  ToolDescriptor tool = {};
  tool.buildFromText = RunFilter;
  tool.afterRun = JudgeFilter;
  tool.flags = FilterToolFlags(job->record);
  tool.param = reinterpret_cast<ToolParam>(job);
  const int r = RunEditorTool(ed, &tool);
  const bool exit = r == kResultDone && job->record.Exit;
  const bool withoutSaving = job->record.ExitWS && !g_settings.main.DNoSave;
  ReleaseFilterJob(job);
  Free(job);
  g_lastTool[slot] = LastToolEntry{RunAgain, reinterpret_cast<void *>(static_cast<intptr_t>(slot))};
  SetLastTool(&g_lastTool[slot]);
  if (exit && g_app.mainWindow) {
    if (withoutSaving) g_app.exitWithoutSaving = 1;
    PostMessageA(g_app.mainWindow, WM_CLOSE, 0, 0);
  }
  if (r == kResultOutOfMemory) {
    AskUser(g_app.mainWindow, TXT_OUT_OF_MEMORY, kAskWarning);
    return kResultReported;
  }
  return r == kResultDone || r == kResultCancelled ? r : kResultReported;
}

// ---- the filter editor ----

struct FlagBox {
  int control;
  i32 FilterRecord::*flag;
  bool negated;  // the box shows the flag's opposite
};
const FlagBox kFlagBoxes[] = {
    {IDC_FILTER_SKIP, &FilterRecord::SkipDlg, false},  {IDC_FILTER_INPUT, &FilterRecord::NoIn, true},
    {IDC_FILTER_OUTPUT, &FilterRecord::NoOut, true},   {IDC_FILTER_MIX, &FilterRecord::MixOuts, false},
    {IDC_FILTER_MESSAGE, &FilterRecord::MsgOut, false}, {IDC_FILTER_UTF8, &FilterRecord::Utf8, false},
    {IDC_FILTER_IGNORE, &FilterRecord::IRet, false},   {IDC_FILTER_WAIT, &FilterRecord::Wait, false},
    {IDC_FILTER_EXIT, &FilterRecord::Exit, false},     {IDC_FILTER_NO_SAVE, &FilterRecord::ExitWS, false},
};

bool Checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

// Which boxes mean something with the others as they are, and the hint
// about exiting right after the launch.
void UpdateEditor(HWND dialog) {
  const bool input = Checked(dialog, IDC_FILTER_INPUT), output = Checked(dialog, IDC_FILTER_OUTPUT);
  const bool ignore = Checked(dialog, IDC_FILTER_IGNORE), exit = Checked(dialog, IDC_FILTER_EXIT);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_MIX), output);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_MESSAGE), output);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_UTF8), output || input);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_WAIT), ignore);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_NO_SAVE), exit);
  const bool hint = exit && (input || output || !ignore);
  SetDlgItemTextA(dialog, IDC_FILTER_HINT, hint ? Text(TXT_FILTER_LAUNCH_HINT) : "");
}

INT_PTR CALLBACK EditorDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  FilterRecord *f = reinterpret_cast<FilterRecord *>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      f = reinterpret_cast<FilterRecord *>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      const struct {
        int control;
        char *text;
        u32 size;
      } kEdits[] = {{IDC_FILTER_NAME, f->name, sizeof f->name},
                    {IDC_FILTER_COMMAND, f->Cmd, sizeof f->Cmd},
                    {IDC_FILTER_DESC, f->Desc, sizeof f->Desc}};
      for (const auto &e : kEdits) {
        e.text[e.size - 1] = 0;
        SendDlgItemMessageA(dialog, e.control, EM_LIMITTEXT, e.size - 1, 0);
        if (e.control == IDC_FILTER_DESC)
          SetMultiLineText(dialog, e.control, e.text);
        else
          SetDlgItemTextA(dialog, e.control, e.text);
        AcceptCtrlTab(GetDlgItem(dialog, e.control));
      }
      for (const FlagBox &b : kFlagBoxes)
        CheckDlgButton(dialog, b.control, ((f->*b.flag != 0) != b.negated) ? BST_CHECKED : BST_UNCHECKED);
      UpdateEditor(dialog);
      CenterDialogOverOwner(dialog);
      return TRUE;
    }
    case WM_COMMAND: {
      if (!f) return FALSE;
      const int id = LOWORD(wParam);
      if (id == IDOK) {
        if (GetWindowTextLengthA(GetDlgItem(dialog, IDC_FILTER_NAME)) == 0) {
          AskUser(dialog, TXT_CHOOSE_NAME, kAskWarning);
          SetFocus(GetDlgItem(dialog, IDC_FILTER_NAME));
          return TRUE;
        }
        GetDlgItemTextA(dialog, IDC_FILTER_NAME, f->name, sizeof f->name);
        GetDlgItemTextA(dialog, IDC_FILTER_COMMAND, f->Cmd, sizeof f->Cmd);
        GetDlgItemTextA(dialog, IDC_FILTER_DESC, f->Desc, sizeof f->Desc);
        for (const FlagBox &b : kFlagBoxes) f->*b.flag = Checked(dialog, b.control) != b.negated ? 1 : 0;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED) {
        UpdateEditor(dialog);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---- the Filters page ----

// The page works on a copy of the list (compact, in list order), with each
// filter's session parameters beside it; applying writes it back.
struct PageState {
  FilterRecord records[kFilters];
  FilterParams params[kFilters];
  int count;
};

PageState *StateOf(HWND page) { return reinterpret_cast<PageState *>(GetWindowLongPtrA(page, DWLP_USER)); }

int Selected(HWND page) {
  const LRESULT i = SendDlgItemMessageA(page, IDC_FILTERS_LIST, LB_GETCURSEL, 0, 0);
  return i == LB_ERR ? -1 : static_cast<int>(i);
}

void FillList(HWND page, const PageState *s, int select) {
  HWND list = GetDlgItem(page, IDC_FILTERS_LIST);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (int i = 0; i < s->count; i++)
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s->records[i].name));
  if (select >= s->count) select = s->count - 1;
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void ShowSelected(HWND page, const PageState *s) {
  const int i = Selected(page);
  SetDlgItemTextA(page, IDC_FILTERS_NAME, i >= 0 ? s->records[i].name : "");
  SetDlgItemTextA(page, IDC_FILTERS_COMMAND, i >= 0 ? s->records[i].Cmd : "");
  EnableWindow(GetDlgItem(page, IDC_FILTERS_NEW), s->count < kFilters);
  EnableWindow(GetDlgItem(page, IDC_FILTERS_EDIT), i >= 0);
  EnableWindow(GetDlgItem(page, IDC_FILTERS_DELETE), i >= 0);
  EnableWindow(GetDlgItem(page, IDC_FILTERS_UP), i > 0);
  EnableWindow(GetDlgItem(page, IDC_FILTERS_DOWN), i >= 0 && i + 1 < s->count);
}

template <typename T>
void Swap(T *a, T *b) {
  T t = *a;
  *a = *b;
  *b = t;
}

void OnPageButton(HWND page, PageState *s, int id) {
  const int i = Selected(page);
  switch (id) {
    case IDC_FILTERS_NEW: {
      if (s->count >= kFilters) return;
      FilterRecord fresh = {};
      if (RunFilterEditor(GetAncestor(page, GA_ROOT), &fresh) != kResultDone) return;
      s->records[s->count] = fresh;
      MemZero(&s->params[s->count], sizeof s->params[s->count]);
      FillList(page, s, s->count++);
      break;
    }
    case IDC_FILTERS_EDIT:
      if (i < 0 || RunFilterEditor(GetAncestor(page, GA_ROOT), &s->records[i]) != kResultDone) return;
      FillList(page, s, i);
      break;
    case IDC_FILTERS_DELETE:
      if (i < 0) return;
      for (int k = i; k + 1 < s->count; k++) {
        s->records[k] = s->records[k + 1];
        s->params[k] = s->params[k + 1];
      }
      s->count--;
      FillList(page, s, i);
      break;
    case IDC_FILTERS_UP:
    case IDC_FILTERS_DOWN: {
      const int other = id == IDC_FILTERS_UP ? i - 1 : i + 1;
      if (i < 0 || other < 0 || other >= s->count) return;
      Swap(&s->records[i], &s->records[other]);
      Swap(&s->params[i], &s->params[other]);
      FillList(page, s, other);
      break;
    }
    default:
      return;
  }
  ShowSelected(page, s);
}

// The list into the settings: slot n holds the n-th filter, the slots
// after the last are freed; the parameters move with their filters.
void ApplyPage(const PageState *s) {
  for (int n = 0; n < kFilters; n++) {
    if (n < s->count) {
      *Slot(n) = s->records[n];
      g_params[n] = s->params[n];
    } else {
      MemZero(Slot(n), sizeof(FilterRecord));
      MemZero(&g_params[n], sizeof g_params[n]);
    }
  }
  g_config.filters.dirty = 1;
}

}  // namespace

FilterParams *FilterSessionParams(int slot) { return slot >= 0 && slot < kFilters ? &g_params[slot] : nullptr; }

void BuildFiltersMenu(HMENU bar) {
  HMENU menu = Submenu(bar, IDM_FILTERS_MENU, true);
  if (!menu) return;
  AppendMenuA(menu, MF_STRING | (CommandPending(IDM_FILTERS_MANAGE) ? MF_GRAYED : 0), IDM_FILTERS_MANAGE,
              "&Manage List..");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  for (int n = 0; n < kFilters; n++) {
    const FilterRecord &f = *Slot(n);
    if (!f.name[0]) continue;
    char name[sizeof f.name * 2 + 1];
    MenuName(name, sizeof name, f.name);
    char text[sizeof name + 32];
    if (n < 12)
      Format(text, sizeof text, "&%s\tAlt+Ctrl+F%d", name, n + 1);
    else
      Format(text, sizeof text, "&%s", name);
    AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(IDM_FILTER_FIRST + n), text);
  }
}

bool FilterMenuHelp(UINT id, char *text, size_t size) {
  if (id < IDM_FILTER_FIRST || id > IDM_FILTER_LAST) return false;
  char cmd[sizeof(FilterRecord::Cmd)];
  StrCopyN(cmd, Slot(static_cast<int>(id - IDM_FILTER_FIRST))->Cmd, sizeof cmd);
  char head[64] = "";
  LoadStringA(g_app.instance, IDM_FILTER_FIRST, head, sizeof head);
  Format(text, size, "%s%s", head, cmd);
  return true;
}

int FilterCommand(HWND, int id) {
  if (id < IDM_FILTER_FIRST || id > IDM_FILTER_LAST) return kResultNotHandled;
  EditorWindow *ed = g_app.editorWindow ? EditorOf(g_app.editorWindow) : nullptr;
  return RunSlot(ed, id - IDM_FILTER_FIRST, false);
}

void OnFilterMemoryWarning() {
  if (HWND wait = RevealWaitWindow()) SetDlgItemTextA(wait, IDC_WAIT_LINE2, Text(TXT_FILTER_MEMORY));
}

int RunFilterEditor(HWND owner, FilterRecord *record) {
  const INT_PTR r = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_FILTER_EDITOR), owner, EditorDlgProc,
                                    reinterpret_cast<LPARAM>(record));
  return r == IDOK ? kResultDone : kResultCancelled;
}

INT_PTR CALLBACK FiltersPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  PageState *s = StateOf(page);
  switch (msg) {
    case WM_INITDIALOG: {
      s = static_cast<PageState *>(Allocate(sizeof(PageState)));
      if (!s) {
        AskUser(GetAncestor(page, GA_ROOT), TXT_OUT_OF_MEMORY, kAskWarning);
        EnableWindow(page, FALSE);
        return TRUE;
      }
      s->count = 0;
      for (int n = 0; n < kFilters; n++) {
        if (!Slot(n)->name[0]) continue;
        s->records[s->count] = *Slot(n);
        s->params[s->count] = g_params[n];
        FilterRecord &f = s->records[s->count++];
        f.name[sizeof f.name - 1] = f.Cmd[sizeof f.Cmd - 1] = f.Desc[sizeof f.Desc - 1] = 0;
      }
      SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
      FillList(page, s, 0);
      ShowSelected(page, s);
      return TRUE;
    }
    case WM_COMMAND: {
      if (!s) return FALSE;
      const int id = LOWORD(wParam);
      if (lParam == 0 && (id == 1 || id == 2 || id == 3)) {
        if (id == 1) ApplyPage(s);
        return TRUE;  // 2 and 3: the copy is simply not used
      }
      if (id == IDC_FILTERS_LIST) {
        if (HIWORD(wParam) == LBN_SELCHANGE) ShowSelected(page, s);
        if (HIWORD(wParam) == LBN_DBLCLK) OnPageButton(page, s, IDC_FILTERS_EDIT);
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED) {
        OnPageButton(page, s, id);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      if (s) Free(s);
      SetWindowLongPtrA(page, DWLP_USER, 0);
      return FALSE;
    default:
      return FALSE;
  }
}
