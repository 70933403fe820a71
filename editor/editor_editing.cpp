#include "editor/editor_editing.h"

#include "config/config_state.h"
#include "document/edit.h"
#include "document/motion.h"
#include "document/position.h"
#include "document/undo.h"
#include "editor/editor_caches.h"
#include "editor/editor_commands.h"
#include "editor/editor_keyboard.h"
#include "editor/editor_messages.h"
#include "editor/tool_commands.h"
#include "foundation/bytes.h"
#include "foundation/byte_buffer.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

constexpr u32 kCommandEdit = kReplaceCloseBefore | kReplaceCloseAfter;

// The result of an edit as a command result.
LRESULT EditResult(int r) { return r ? kCommandDone : kCommandFailed; }

LRESULT OutOfMemory(EditorWindow *ed) {
  MessageBeep(0);
  NotifyParent(ed, kEditorOutOfMemory);
  return kCommandFailed;
}

// Replaces [from, to) with bytes.
LRESULT ReplaceRange(EditorWindow *ed, u32 from, u32 to, const char *bytes, u32 length, u32 flags) {
  SetSelection(ed->doc, from, to);
  return EditResult(ReplaceAndShow(ed, bytes, length, flags));
}

const char *NewlineBytes(const Document *doc) {
  switch (doc->newlineType) {
    case 1: return "\n";
    case 2: return "\r";
    default: return "\r\n";
  }
}

// Copies [from, to) of the text into a new buffer (Free it); null when memory
// ran out.
char *CopyText(const Document *doc, u32 from, u32 to) {
  char *p = static_cast<char *>(Allocate(to - from + 1));
  if (p) ReadText(&doc->store, from, to, p, to - from, 0, nullptr);
  return p;
}

// ---- returns ----

// The leading blanks of the nearest non-empty line above the new line that a
// return at `at` opens: the part of the caret's line before `at` when it is
// not empty, else the lines above it.
void IndentFor(const Document *doc, u32 at, u32 *from, u32 *to) {
  u32 line = HardLineOfPosition(doc, at);
  u32 start = HardLineStart(doc, line);
  if (at > start) {
    *from = start;
    *to = SkipBlanks(doc, start, at);
    return;
  }
  while (line > 0) {
    line--;
    if (!HardLineEmpty(doc, line)) {
      start = HardLineStart(doc, line);
      *from = start;
      *to = SkipBlanks(doc, start, HardLineTextEnd(doc, line));
      return;
    }
  }
  *from = *to = 0;
}

LRESULT Return(EditorWindow *ed, bool indent, bool copying) {
  Document *doc = ed->doc;
  const char *newline = NewlineBytes(doc);
  const u32 at = doc->selStart->position;
  u32 from = 0, to = 0;
  if (copying) {
    from = HardLineStart(doc, HardLineOfPosition(doc, at));
    to = at;
  } else if (indent) {
    IndentFor(doc, at, &from, &to);
  }
  ByteBuffer text = {};
  bool ok = BufferAppendText(&text, newline);
  if (ok && to > from) {
    ok = BufferReserve(&text, to - from);
    if (ok) text.length += ReadText(&doc->store, from, to, text.data + text.length, to - from, 0, nullptr);
  }
  if (!ok) {
    BufferFree(&text);
    return OutOfMemory(ed);
  }
  LRESULT r = EditResult(ReplaceAndShow(ed, text.data, static_cast<u32>(text.length), kCommandEdit | kReplaceCheckOccurrences));
  BufferFree(&text);
  return r;
}

// ---- tabs ----

// The display column of a position in its hard line, tabs expanded.
u32 DisplayColumn(const Document *doc, u32 position) {
  const u32 tab = g_settings.edit.Tab > 0 ? static_cast<u32>(g_settings.edit.Tab) : 1;
  u32 p = HardLineStart(doc, HardLineOfPosition(doc, position));
  u32 column = 0;
  TextReader r(&doc->store);
  for (; p < position; p++) column = r.At(p) == '\t' ? (column / tab + 1) * tab : column + 1;
  return column;
}

LRESULT Tab(EditorWindow *ed, bool shift) {
  Document *doc = ed->doc;
  // Over lines (AutoTab): Indent or Unindent them, which does not become the
  // Last Tool.
  if (g_settings.edit.AutoTab && doc->anchor.hardLine != doc->caret.hardLine)
    return FinishEditorCommand(ed, RunToolCommand(ed, shift ? IDM_TOOL_UNINDENT : IDM_TOOL_INDENT, kToolFromTabKey));
  if (!g_settings.edit.NoTabs) return EditResult(ReplaceAndShow(ed, "\t", 1, kReplaceCountTyped));
  const u32 tab = g_settings.edit.Tab > 0 ? static_cast<u32>(g_settings.edit.Tab) : 1;
  const PositionRecord &caret = doc->caret;
  u32 count;
  if (caret.wantedColumn != kNoColumn && caret.wantedColumn > caret.rowLength && caret.wantedColumn < 1048576) {
    count = tab;  // the caret stands beyond the end of its line
  } else {
    count = tab - DisplayColumn(doc, doc->selStart->position) % tab;
  }
  char *spaces = static_cast<char *>(Allocate(count));
  if (!spaces) return OutOfMemory(ed);
  MemFill(spaces, ' ', count);
  LRESULT r = EditResult(ReplaceAndShow(ed, spaces, count, kReplaceCountTyped));
  Free(spaces);
  return r;
}

// ---- deletions ----

LRESULT DeleteRange(EditorWindow *ed, u32 from, u32 to, u32 flags) {
  if (from >= to) return kCommandNothing;
  return ReplaceRange(ed, from, to, nullptr, 0, flags);
}

LRESULT DeleteOrStep(EditorWindow *ed, bool forward) {
  Document *doc = ed->doc;
  u32 a = doc->selStart->position, b = doc->selEnd->position;
  if (a == b) {
    if (forward) b = CharRight(doc, a);
    else a = CharLeft(doc, b);
  }
  return DeleteRange(ed, a, b, kReplaceCheckOccurrences);
}

// ---- pushing lines ----

LRESULT PushLine(EditorWindow *ed, bool up, u32 by) {
  Document *doc = ed->doc;
  const u32 lines = HardLineCount(&doc->store);
  const u32 line = doc->caret.hardLine;
  u32 first, last, moved;  // the lines the edit rewrites, and the moved one
  if (up) {
    if (line == 0) return kCommandNothing;
    if (by > line) by = line;
    first = line - by;
    last = line;
  } else {
    if (line + 1 >= lines) return kCommandNothing;
    if (by > lines - 1 - line) by = lines - 1 - line;
    first = line;
    last = line + by;
  }
  moved = line;
  const u32 regionStart = HardLineStart(doc, first), regionEnd = HardLineEnd(doc, last);
  const u32 lineStart = HardLineStart(doc, moved), lineEnd = HardLineEnd(doc, moved);
  const u32 lineTextEnd = HardLineTextEnd(doc, moved);
  // The other lines of the region, as one piece.
  const u32 otherStart = up ? regionStart : lineEnd, otherEnd = up ? lineStart : regionEnd;
  const u32 otherTextEnd = up ? HardLineTextEnd(doc, last - 1) : HardLineTextEnd(doc, last);
  char *result = static_cast<char *>(Allocate(regionEnd - regionStart + 2));
  if (!result) return OutOfMemory(ed);
  const TextStore *s = &doc->store;
  u32 n = 0, selectFrom, selectTo;
  auto copy = [&](u32 a, u32 b) { n += ReadText(s, a, b, result + n, b - a, 0, nullptr); };
  if (up) {
    selectFrom = regionStart;
    if (lineEnd == lineTextEnd) {
      // The last line of the text moves up: it takes the newline of the line
      // above it, which becomes the last line.
      copy(lineStart, lineTextEnd);
      copy(otherTextEnd, otherEnd);
      selectTo = regionStart + n;
      copy(otherStart, otherTextEnd);
    } else {
      copy(lineStart, lineEnd);
      selectTo = regionStart + n;
      copy(otherStart, otherEnd);
    }
  } else {
    if (otherEnd == otherTextEnd) {
      // It moves below the last line of the text: that line takes this
      // line's newline, and this line ends the text without one.
      copy(otherStart, otherEnd);
      copy(lineTextEnd, lineEnd);
      selectFrom = regionStart + n;
      copy(lineStart, lineTextEnd);
    } else {
      copy(otherStart, otherEnd);
      selectFrom = regionStart + n;
      copy(lineStart, lineEnd);
    }
    selectTo = regionStart + n;
  }
  SetSelection(doc, regionStart, regionEnd);
  int r = ReplaceSelectionCounted(doc, result, n, kReplaceFromBytes | kCommandEdit, nullptr);
  Free(result);
  if (!r) {
    SelectAndShow(ed, doc->anchor.position, doc->caret.position, 0);
    return kCommandFailed;
  }
  // The caret stays on the moved line, so that the next push moves it again.
  SelectAndShow(ed, selectTo, selectFrom, 0);
  return kCommandDone;
}

// ---- selecting units ----

}  // namespace

namespace {

LRESULT SelectUnit(EditorWindow *ed, int kind, bool extend) {
  Document *doc = ed->doc;
  const u32 selA = doc->selStart->position, selB = doc->selEnd->position;
  u32 a, b;
  if (extend && selA != selB) {
    if (!UnitAfter(doc, kind, selB, &a, &b)) return kCommandNothing;
    SelectAndShow(ed, selA, b, 0);
    CheckSelectionHighlighter(ed);
    return kCommandDone;
  }
  if (!UnitAround(doc, kind, doc->caret.position, &a, &b)) return kCommandNothing;
  if (a == selA && b == selB && a != b) {
    // That unit is already selected: the next one.
    if (!UnitAfter(doc, kind, b, &a, &b)) return kCommandNothing;
  }
  SelectAndShow(ed, a, b, 0);
  CheckSelectionHighlighter(ed);
  return kCommandDone;
}

// ---- completing a line ----

LRESULT CompleteLine(EditorWindow *ed) {
  Document *doc = ed->doc;
  const PositionRecord &caret = doc->caret;
  if (caret.wantedColumn != kNoColumn && caret.wantedColumn > caret.rowLength && caret.wantedColumn < 1048576)
    return kCommandNothing;  // beyond the line's end
  const u32 line = caret.hardLine;
  const u32 start = HardLineStart(doc, line);
  const u32 length = caret.position - start;
  char *prefix = CopyText(doc, start, caret.position);
  if (!prefix) return OutOfMemory(ed);
  const u32 lines = HardLineCount(&doc->store);
  TextReader r(&doc->store);
  u32 found = 0;
  bool any = false;
  // Upwards from the line above, then from the last line back down.
  for (u32 k = 1; k < lines && !any; k++) {
    u32 candidate = line >= k ? line - k : line + lines - k;
    u32 a = HardLineStart(doc, candidate), e = HardLineTextEnd(doc, candidate);
    if (e - a <= length) continue;
    u32 i = 0;
    while (i < length && r.At(a + i) == static_cast<u8>(prefix[i])) i++;
    if (i == length) {
      found = a + length;
      any = true;
    }
  }
  Free(prefix);
  if (!any) return kCommandNothing;
  // What follows the prefix: a run of word characters, a run of blanks, or one character.
  const u32 end = HardLineTextEnd(doc, HardLineOfPosition(doc, found));
  u8 c = r.At(found);
  u32 q = found + 1;
  if (IsWordChar(c)) {
    while (q < end && IsWordChar(r.At(q))) q++;
  } else if ((CharType(c) & kC1Space) && c != '\r' && c != '\n') {
    while (q < end && (CharType(r.At(q)) & kC1Space)) q++;
  }
  char *insert = CopyText(doc, found, q);
  if (!insert) return OutOfMemory(ed);
  LRESULT result = EditResult(ReplaceAndShow(ed, insert, q - found, kCommandEdit));
  Free(insert);
  return result;
}

// ---- dates, times, names ----

LRESULT InsertDateTime(EditorWindow *ed, int id) {
  const int form = id - IDM_EDIT_DATE_TIME;
  const bool longDate = form & 1, timeFirst = form & 2, dateOnly = form & 4;
  const MainSettings &m = g_settings.main;
  char date[256], time[256];
  SYSTEMTIME now;
  GetLocalTime(&now);
  const char *dateFormat = longDate ? m.LcDLF : m.LcDSF;
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, dateFormat[0] ? 0 : (longDate ? DATE_LONGDATE : DATE_SHORTDATE), &now,
                      dateFormat[0] ? dateFormat : nullptr, date, sizeof date))
    return OutOfMemory(ed);
  time[0] = 0;
  if (!dateOnly && !GetTimeFormatA(LOCALE_USER_DEFAULT, m.LcTF[0] || m.TDTSecs ? 0 : TIME_NOSECONDS, &now,
                                   m.LcTF[0] ? m.LcTF : nullptr, time, sizeof time))
    return OutOfMemory(ed);
  char text[256 * 2 + 64];
  char *p = text;
  if (dateOnly) {
    p = StrCopy(p, date);
  } else {
    p = StrCopy(p, timeFirst ? time : date);
    p = StrCopyN(p, m.TDTGlue, sizeof m.TDTGlue);
    p = StrCopy(p, timeFirst ? date : time);
  }
  return EditResult(ReplaceAndShow(ed, text, static_cast<u32>(p - text), kCommandEdit));
}

LRESULT InsertName(EditorWindow *ed, bool fullPath) {
  const Document *doc = ed->doc;
  const char *text = fullPath ? doc->filePath : (doc->fileTitle[0] ? doc->fileTitle : Text(TXT_UNTITLED));
  if (!text[0]) return kCommandNothing;
  return EditResult(ReplaceAndShow(ed, text, static_cast<u32>(StrLen(text)), kCommandEdit));
}

LRESULT Reinsert(EditorWindow *ed, bool deleted) {
  int r = deleted ? ReinsertDeleted(ed->doc) : ReinsertInserted(ed->doc);
  SelectAndShow(ed, ed->doc->anchor.position, ed->doc->caret.position, 0);
  if (r == -1) return OutOfMemory(ed);
  return r == 0 ? kCommandDone : kCommandNothing;
}

}  // namespace

LRESULT RunEditingCommand(EditorWindow *ed, int id) {
  Document *doc = ed->doc;
  const EditSettings &e = g_settings.edit;
  switch (id) {
    case IDM_EDIT_RETURN: return Return(ed, e.Indent != 0, false);
    case IDM_EDIT_SMART_RETURN: return Return(ed, e.Indent == 0, false);
    case IDM_EDIT_COPYING_RETURN: return Return(ed, false, true);
    case IDM_EDIT_TAB: return Tab(ed, false);
    case IDM_EDIT_SHIFT_TAB: return Tab(ed, true);
    case IDM_EDIT_DELETE: return DeleteOrStep(ed, true);
    case IDM_EDIT_BACKSPACE: return DeleteOrStep(ed, false);
    case IDM_EDIT_CUT_OFF_WORD:
      return DeleteRange(ed, doc->caret.position, WordRight(doc, doc->caret.position), kCommandEdit);
    case IDM_EDIT_BKSP_WORD:
      return DeleteRange(ed, WordLeft(doc, doc->caret.position), doc->caret.position, kCommandEdit);
    case IDM_EDIT_CUT_OFF_LINE:
      return DeleteRange(ed, doc->caret.position, HardLineTextEnd(doc, doc->caret.hardLine), kCommandEdit);
    case IDM_EDIT_BKSP_LINE:
      return DeleteRange(ed, HardLineStart(doc, doc->caret.hardLine), doc->caret.position, kCommandEdit);
    case IDM_EDIT_DELETE_LINE:
      return DeleteRange(ed, HardLineStart(doc, doc->caret.hardLine), HardLineEnd(doc, doc->caret.hardLine), kCommandEdit);
    case IDM_EDIT_PUSH_UP: return PushLine(ed, true, 1);
    case IDM_EDIT_PUSH_UP_10: return PushLine(ed, true, 10);
    case IDM_EDIT_PUSH_DOWN: return PushLine(ed, false, 1);
    case IDM_EDIT_PUSH_DOWN_10: return PushLine(ed, false, 10);
    case IDM_EDIT_SELECT_ALL:
      SelectAndShow(ed, 0, doc->store.length, 0);
      CheckSelectionHighlighter(ed);
      return kCommandDone;
    case IDM_EDIT_SELECT_WORD: return SelectUnit(ed, kUnitWordKind, false);
    case IDM_EDIT_SELECT_WORD_MORE: return SelectUnit(ed, kUnitWordKind, true);
    case IDM_EDIT_SELECT_LINE: return SelectUnit(ed, kUnitLine, false);
    case IDM_EDIT_SELECT_LINE_MORE: return SelectUnit(ed, kUnitLine, true);
    case IDM_EDIT_SELECT_PARAGRAPH: return SelectUnit(ed, kUnitParagraph, false);
    case IDM_EDIT_SELECT_PARAGRAPH_MORE: return SelectUnit(ed, kUnitParagraph, true);
    case IDM_EDIT_COMPLETE_LINE: return CompleteLine(ed);
    case IDM_EDIT_DATE_TIME:
    case IDM_EDIT_LONG_DATE_TIME:
    case IDM_EDIT_TIME_DATE:
    case IDM_EDIT_TIME_LONG_DATE:
    case IDM_EDIT_DATE:
    case IDM_EDIT_LONG_DATE:
      return InsertDateTime(ed, id);
    case IDM_EDIT_INSERT_FILE_NAME: return InsertName(ed, false);
    case IDM_EDIT_INSERT_FULL_PATH: return InsertName(ed, true);
    case IDM_EDIT_REINSERT_DELETED: return Reinsert(ed, true);
    case IDM_EDIT_REINSERT_INSERTED: return Reinsert(ed, false);
    default: return kCommandUnknown;
  }
}
