#include "editor/editor_keyboard.h"

#include "config/config_state.h"
#include "document/edit.h"
#include "document/motion.h"
#include "document/position.h"
#include "editor/editor_caches.h"
#include "editor/editor_layout.h"
#include "editor/editor_scroll.h"

namespace {

// The wanted column of the caret (its column when it has none).
u32 Wanted(const PositionRecord &rec) { return rec.wantedColumn == kNoColumn ? rec.column : rec.wantedColumn; }

PositionRecord AtPosition(Document *doc, u32 position) {
  PositionRecord rec = {};
  SetFromPosition(doc, &rec, position, kPositionSettleColumn);
  return rec;
}

PositionRecord AtRowColumn(Document *doc, u32 row, u32 column, bool settle) {
  PositionRecord rec = {};
  SetFromRowColumn(doc, &rec, row, column);
  if (settle) rec.wantedColumn = rec.column;
  return rec;
}

// A remembered column that falls inside a double-byte character of the row
// (the column counts bytes) puts the caret before that character; the
// remembered column itself is kept for the next row.
void KeepPairWhole(EditorWindow *ed, PositionRecord *rec) {
  if (!RowSplitsPair(ed, rec->row, rec->position)) return;
  const u32 wanted = rec->wantedColumn;
  SetFromRowColumn(ed->doc, rec, rec->row, rec->column - 1);
  rec->wantedColumn = wanted;
}

// Alt held without Ctrl: the view scrolls, the caret stays.
void AltScroll(EditorWindow *ed, WPARAM key, bool shift) {
  switch (key) {
    case VK_LEFT: HScroll(ed, shift ? 255 : SB_LINELEFT); break;
    case VK_RIGHT: HScroll(ed, shift ? 256 : SB_LINERIGHT); break;
    case VK_UP: VScroll(ed, shift ? 255 : SB_LINEUP); break;
    case VK_DOWN: VScroll(ed, shift ? 256 : SB_LINEDOWN); break;
    case VK_PRIOR: if (!shift) VScroll(ed, SB_PAGEUP); break;
    case VK_NEXT: if (!shift) VScroll(ed, SB_PAGEDOWN); break;
    case VK_HOME: if (!shift) VScroll(ed, SB_TOP); break;
    case VK_END: if (!shift) VScroll(ed, SB_BOTTOM); break;
    case VK_INSERT: if (!shift) UpdateCaret(ed, 0); break;
    default: break;
  }
}

// Home: the first non-blank column of the row, then the start of the hard
// line, then (from the line's start) the first non-blank column again.
PositionRecord HomeTarget(Document *doc, const PositionRecord &caret) {
  const TextStore *s = &doc->store;
  const u32 rowStart = RowStart(s, caret.row);
  const u32 lineStart = RowStart(s, caret.firstRow);
  const bool atLineStart = caret.row == caret.firstRow && caret.column == 0;
  if (g_settings.edit.NoHome) {
    if (caret.column == 0) return AtRowColumn(doc, caret.firstRow, 0, true);
    return AtRowColumn(doc, caret.row, 0, true);
  }
  const u32 firstText = SkipBlanks(doc, rowStart, RowTextEnd(s, caret.row)) - rowStart;
  if (atLineStart || caret.column > firstText) return AtRowColumn(doc, caret.row, firstText, true);
  (void)lineStart;
  return AtRowColumn(doc, caret.firstRow, 0, true);
}

// End: the end of the row's text, then the end of the hard line on its last
// row (a column that stays at the line's end while moving up and down).
PositionRecord EndTarget(Document *doc, const PositionRecord &caret) {
  if (caret.column < caret.rowLength && Wanted(caret) < caret.rowLength) {
    return AtRowColumn(doc, caret.row, caret.rowLength, true);
  }
  return AtRowColumn(doc, caret.lastRow, kColumnLineEnd, false);
}

// Ctrl+Up and Ctrl+Down: to a paragraph's first line, on its first non-blank
// column (column 0 with Shift).
PositionRecord ParagraphTarget(Document *doc, const PositionRecord &caret, bool up, bool shift) {
  auto landing = [&](u32 line) {
    u32 start = HardLineStart(doc, line);
    return shift ? start : SkipBlanks(doc, start, HardLineTextEnd(doc, line));
  };
  u32 from = caret.hardLine;
  if (up && !HardLineEmpty(doc, from)) {
    // Inside a paragraph, its own start comes first.
    u32 first, last;
    ParagraphOf(doc, from, &first, &last);
    if (caret.position > landing(first)) return AtPosition(doc, landing(first));
    from = first;
  }
  i64 line = up ? ParagraphUp(doc, from) : ParagraphDown(doc, from);
  if (line < 0) return AtPosition(doc, up ? 0 : doc->store.length);
  return AtPosition(doc, landing(static_cast<u32>(line)));
}

}  // namespace

void MoveCaretTo(EditorWindow *ed, const PositionRecord &caret, bool extend) {
  Document *doc = ed->doc;
  const u32 oldA = doc->selStart->row, oldB = doc->selEnd->row;
  doc->caret = caret;
  if (extend) OrderSelection(doc);
  else Collapse(doc);
  ShowSelectionChange(ed, oldA, oldB, 0);
  CheckSelectionHighlighter(ed);
}

void OnKeyDown(EditorWindow *ed, WPARAM key) {
  // Only the keys that move (Page Up, Page Down, End, Home, the arrows) and
  // Insert (with Alt) are handled here: any other key goes without asking
  // for the modifiers.
  if ((key < VK_PRIOR || key > VK_DOWN) && key != VK_INSERT) return;
  // The modifiers as the key found them, in one request (each GetKeyState
  // is a request of its own to some systems); none held should it fail.
  BYTE keys[256] = {};
  (void)GetKeyboardState(keys);
  const bool alt = (keys[VK_MENU] & 0x80) != 0, ctrl = (keys[VK_CONTROL] & 0x80) != 0,
             shift = (keys[VK_SHIFT] & 0x80) != 0;
  if (alt) {
    if (!ctrl) AltScroll(ed, key, shift);
    return;
  }
  Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  const PositionRecord caret = doc->caret;
  const u32 lastRow = RowCount(s) - 1;
  PositionRecord to;
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT: {
      if (ctrl) return;
      const u32 page = ed->visibleRows - 1 >= 1 ? static_cast<u32>(ed->visibleRows - 1) : 1;
      if (key == VK_PRIOR) {
        if (caret.row == 0) {
          to = AtRowColumn(doc, 0, 0, true);
        } else {
          to = AtRowColumn(doc, caret.row > page ? caret.row - page : 0, Wanted(caret), false);
          ed->topLine = ed->topLine > page ? ed->topLine - page : 0;
        }
      } else {
        if (caret.row >= lastRow) {
          to = AtRowColumn(doc, lastRow, caret.rowLength, true);
        } else {
          to = AtRowColumn(doc, lastRow - caret.row > page ? caret.row + page : lastRow, Wanted(caret), false);
          ed->topLine += page;  // ApplyScroll clamps it
        }
      }
      break;
    }
    case VK_END:
      to = ctrl ? AtPosition(doc, s->length) : EndTarget(doc, caret);
      break;
    case VK_HOME:
      to = ctrl ? AtPosition(doc, 0) : HomeTarget(doc, caret);
      break;
    case VK_LEFT:
      to = AtPosition(doc, ctrl ? WordLeft(doc, caret.position) : CharLeft(doc, caret.position));
      break;
    case VK_RIGHT:
      to = AtPosition(doc, ctrl ? WordRight(doc, caret.position) : CharRight(doc, caret.position));
      break;
    case VK_UP:
      if (ctrl) to = ParagraphTarget(doc, caret, true, shift);
      else if (caret.row == 0) to = AtRowColumn(doc, 0, 0, true);
      else to = AtRowColumn(doc, caret.row - 1, Wanted(caret), false);
      break;
    case VK_DOWN:
      if (ctrl) to = ParagraphTarget(doc, caret, false, shift);
      else if (caret.row >= lastRow) to = AtRowColumn(doc, lastRow, caret.rowLength, true);
      else to = AtRowColumn(doc, caret.row + 1, Wanted(caret), false);
      break;
    default:
      return;
  }
  KeepPairWhole(ed, &to);
  MoveCaretTo(ed, to, shift);
}

void OnChar(EditorWindow *ed, WPARAM character, LPARAM lParam) {
  const u8 c = static_cast<u8>(character);
  if (c < 32 && (c < 9 || c > 13) && !g_settings.edit.InsCtrl) {
    MessageBeep(0);
    return;
  }
  Document *doc = ed->doc;
  u32 count = LOWORD(lParam);
  if (count < 1) count = 1;
  if (count > 1024) count = 1024;
  if (doc->overwriteMode && doc->selStart->position == doc->selEnd->position) {
    // The characters under the caret are replaced, up to the end of the line.
    const u32 p = doc->caret.position;
    const u32 lineEnd = HardLineTextEnd(doc, doc->caret.hardLine);
    u32 q = p;
    for (u32 k = 0; k < count && q < lineEnd; k++) q = CharRight(doc, q);
    if (q > lineEnd) q = lineEnd;
    if (q > p) SetSelection(doc, p, q);
  }
  char text[1024];
  for (u32 k = 0; k < count; k++) text[k] = static_cast<char>(c);
  ReplaceAndShow(ed, text, count, kReplaceCountTyped | kReplaceCheckOccurrences);
  UpdateWindow(ed->hwnd);
}
