// Commit Wrapping (run under Wine): 256 MiB of lines of 20 to 400 bytes,
// wrapped at 80 columns (the wrap margin at 80 average character widths of
// the editor's fixed font), made real lines through the tool command, against
// `fold -s -w 80` over the same text, which the native benchmarks time and
// leave in QP_FOLD_PEER_FILE (seen here through drive Z:).
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench/bench.h"
#include "bench/win_bench.h"
#include "config/config_state.h"
#include "document/document.h"
#include "document/text_store.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "editor/tool_commands.h"

void CommitWrappingFigures(HWND editor) {
  double peer = 0;
  if (FILE *f = fopen("Z:" QP_FOLD_PEER_FILE, "r")) {
    if (fscanf(f, "%lf", &peer) != 1) peer = 0;
    fclose(f);
  }
  EditorWindow *ed = EditorOf(editor);
  {
    std::vector<char> text = WrapLines(256u << 20);
    SendMessageA(editor, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  }
  const i32 margin = g_settings.opts.RWrap;
  g_settings.opts.RWrap = 80 * ed->averageWidth;
  SendMessageA(editor, EDM_SETWORDWRAP, 1, 0);
  UpdateWindow(editor);
  const u32 lines = HardLineCount(&ed->doc->store), rows = RowCount(&ed->doc->store);
  double ours = 1e30;
  for (int run = 0; run < 2; run++) {
    SendMessageA(editor, EM_SETSEL, 0, -1);
    const double t0 = Now();
    const int r = RunToolCommand(ed, 39010, kToolAgain);
    UpdateWindow(editor);
    GdiFlush();
    ours = std::min(ours, Now() - t0);
    if (r != 0 || HardLineCount(&ed->doc->store) != rows) printf("commit_wrapping went wrong (%d)\n", r);
    SendMessageA(editor, WM_UNDO, 0, 0);
    SendMessageA(editor, EDM_JOURNALCLEAR, 0, 0);
  }
  printf("commit_wrapping_lines %u rows %u\n", lines, rows);
  Report("commit_wrapping_80_columns_256MiB", ours, "s");
  if (peer > 0) {
    Ratio("commit_wrapping_80_columns_vs_fold_s", ours, peer);
    Goal("commit_wrapping_80_columns_vs_fold_s", ours / peer, 1, "x");
  } else {
    printf("commit_wrapping_80_columns_vs_fold_s: no figure of fold (qp_bench fold leaves it)\n");
  }
  g_settings.opts.RWrap = margin;
  SendMessageA(editor, EDM_SETWORDWRAP, 0, 0);
  SendMessageA(editor, EDM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
}
