#include "editor/editor_caches.h"

#include "config/config_state.h"
#include "document/range_set.h"
#include "editor/editor_messages.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "foundation/texts.h"
#include "search/text_caches.h"

bool (*g_statusFieldFree)(HWND editor) = nullptr;

namespace {

// Selections longer than this are not taken as the highlighter's text: copying
// and comparing them on every caret move would cost more than the marks are
// worth.
constexpr u32 kLongestHighlighterText = 1024 * 1024;

}  // namespace

bool ShowTransientStatus(EditorWindow *ed, const char *text) {
  if (!g_statusFieldFree || !g_statusFieldFree(ed->hwnd)) return false;
  StatusMessage message = {text, 0, 0};
  NotifyParentPrivate(ed, EDN_STATUSMESSAGE, reinterpret_cast<LPARAM>(&message));
  return true;
}

void FillPaintCaches(EditorWindow *ed, u32 first, u32 last, u32 startTick) {
  const SettingsBlock &g = g_settings;
  Document *doc = ed->doc;
  if (RowCount(&doc->store) == 0) return;
  if (g.opts.Urls) {
    ShowTransientStatus(ed, Text(TXT_URL_CACHE));
    (void)EnsureScanned(doc, kSetLinks, kSetLinksScanned, first, last, startTick, LinkScanner());
  }
  if (g.opts.HiliSel && doc->selStart->position != doc->selEnd->position && ed->occurrenceLength) {
    ShowTransientStatus(ed, Text(TXT_HIGHLIGHT_CACHE));
    OccurrenceText text = {ed->occurrenceText, ed->occurrenceLength, ed->occurrenceMatchCase};
    (void)EnsureScanned(doc, kSetOccurrences, kSetOccurrencesScanned, first, last, startTick, OccurrenceScanner(&text));
  }
}

void ClearSelectionHighlighter(EditorWindow *ed) {
  Free(ed->occurrenceText);
  ed->occurrenceText = nullptr;
  ed->occurrenceLength = 0;
  RangeSetClear(&ed->doc->store.rangeSets[kSetOccurrences]);
  RangeSetClear(&ed->doc->store.rangeSets[kSetOccurrencesScanned]);
}

void CheckSelectionHighlighter(EditorWindow *ed) {
  const SettingsBlock &g = g_settings;
  if (!g.opts.HiliSel) return;
  Document *doc = ed->doc;
  const u32 a = doc->selStart->position, b = doc->selEnd->position;
  const u32 length = b - a;
  const u32 minimum = g.edit.HiSelLn > 0 ? static_cast<u32>(g.edit.HiSelLn) : 1;
  if (a == b || length < minimum || length > kLongestHighlighterText) return;
  const bool matchCase = g.edit.HiSelMC != 0;
  char *text = static_cast<char *>(Allocate(length));
  if (!text) return;  // the previous text stays in force
  u32 got = ReadText(&doc->store, a, b, text, length, 0, nullptr);
  if (!matchCase) {
    const u8 *lower = LowerTable();
    for (u32 i = 0; i < got; i++) text[i] = static_cast<char>(lower[static_cast<u8>(text[i])]);
  }
  if (got == ed->occurrenceLength && matchCase == ed->occurrenceMatchCase && MemCompare(text, ed->occurrenceText, got) == 0) {
    Free(text);
    return;
  }
  Free(ed->occurrenceText);
  ed->occurrenceText = text;
  ed->occurrenceLength = got;
  ed->occurrenceMatchCase = matchCase;
  RangeSetClear(&doc->store.rangeSets[kSetOccurrences]);
  RangeSetClear(&doc->store.rangeSets[kSetOccurrencesScanned]);
  InvalidateRect(ed->hwnd, nullptr, FALSE);
}
