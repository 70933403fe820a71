#include "tools/tool_runner.h"

#include "document/edit.h"
#include "document/motion.h"
#include "document/text_store.h"
#include "document/undo.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/texts.h"
#include "search/search_run.h"

// ---- the private text ----

namespace {

// A text a document can hold, and an allocation this process can make.
constexpr u64 kMaxToolBytes = 0xFFFFFFFEull;
bool FitsAllocation(u64 bytes) { return bytes <= kMaxToolBytes && bytes <= static_cast<u64>(SIZE_MAX); }

}  // namespace

void ToolDocumentFree(ToolDocument *doc) {
  Free(doc->text);
  *doc = ToolDocument{};
}

int ToolDocumentReserve(ToolDocument *doc, u64 bytes) {
  if (bytes <= doc->capacity) return 0;
  if (!FitsAllocation(bytes)) return -1;
  char *grown = static_cast<char *>(Reallocate(doc->text, static_cast<size_t>(bytes)));
  if (!grown) return -1;
  doc->text = grown;
  doc->capacity = static_cast<u32>(bytes);
  return 0;
}

int ToolDocumentAppend(ToolDocument *doc, const char *bytes, u32 n) {
  if (n == 0) return 0;  // an empty record has no buffer to copy into
  const u64 needed = static_cast<u64>(doc->length) + n;
  if (needed > doc->capacity) {
    u64 grown = static_cast<u64>(doc->capacity) + doc->capacity / 2 + 4096;
    if (grown < needed) grown = needed;
    if (grown > kMaxToolBytes) grown = kMaxToolBytes;
    if (ToolDocumentReserve(doc, grown) != 0 && ToolDocumentReserve(doc, needed) != 0) return -1;
  }
  MemCopy(doc->text + doc->length, bytes, n);
  doc->length += n;
  return 0;
}

void ToolPiecesFree(ToolPieces *pieces) {
  for (u32 i = 0; i < pieces->count; i++) Free(pieces->piece[i]);  // those the document took are null
  Free(pieces->piece);
  Free(pieces->lengths);
  *pieces = ToolPieces{};
}

namespace {

// The length of piece i.
u32 PieceLength(const ToolPieces &p, u32 i) {
  return p.lengths ? p.lengths[i] : i + 1 < p.count ? kBlockSmall : p.length - i * kBlockSmall;
}

}  // namespace

int ToolPiecesOfStore(TextStore *store, ToolPieces *pieces) {
  const u32 count = store->blocks.count;
  if (count == 0) return 0;
  char **piece = static_cast<char **>(Allocate(static_cast<size_t>(count) * sizeof(char *)));
  u32 *lengths = static_cast<u32 *>(Allocate(static_cast<size_t>(count) * sizeof(u32)));
  if (!piece || !lengths) {
    Free(piece);
    Free(lengths);
    return -1;
  }
  ToolPiecesFree(pieces);
  StoreReleaseBlocks(store, piece, lengths);
  *pieces = ToolPieces{piece, count, count, store->length, lengths, 0};
  return 0;
}

int ToolPiecesAppend(ToolPieces *pieces, const char *bytes, u32 n) {
  if (n == 0) return 0;
  if (pieces->lengths) return -1;  // a store's blocks take nothing more
  if (static_cast<u64>(pieces->length) + n > kMaxToolBytes) return -1;
  const u32 made = pieces->count;
  const u32 needed = static_cast<u32>((static_cast<u64>(pieces->length) + n + kBlockSmall - 1) / kBlockSmall);
  if (needed > pieces->capacity) {
    u64 grown = static_cast<u64>(pieces->capacity) + pieces->capacity / 2 + 64;
    if (grown < needed) grown = needed;
    if (!FitsAllocation(grown * sizeof(char *))) return -1;
    void *p = Reallocate(pieces->piece, static_cast<size_t>(grown) * sizeof(char *));
    if (!p) return -1;
    pieces->piece = static_cast<char **>(p);
    pieces->capacity = static_cast<u32>(grown);
  }
  for (; pieces->count < needed; pieces->count++) {
    pieces->piece[pieces->count] = static_cast<char *>(Allocate(kBlockSmall));
    if (!pieces->piece[pieces->count]) {
      while (pieces->count > made) Free(pieces->piece[--pieces->count]);
      return -1;
    }
  }
  while (n) {
    const u32 off = pieces->length % kBlockSmall, take = kBlockSmall - off < n ? kBlockSmall - off : n;
    MemCopy(pieces->piece[pieces->length / kBlockSmall] + off, bytes, take);
    pieces->length += take;
    bytes += take;
    n -= take;
  }
  return 0;
}

void ToolDocumentTake(ToolDocument *doc, ToolDocument *other) {
  Free(doc->text);
  *doc = *other;
  *other = ToolDocument{};
}

// ---- progress and cancel, for the tool functions ----

namespace {

// The operation whose tool function runs (one at a time: a tool started
// inside another operation runs inline under it).
LongOperation *g_toolOp;
// The newline sequence of the running tool's document.
const char *g_toolNewline;
// The pieces of the running build tool's result.
ToolPieces *g_toolPieces;
// The input of the running tool that reads it from the document.
const ToolInput *g_toolInput;

}  // namespace

const char *ToolNewline() { return g_toolNewline ? g_toolNewline : "\r\n"; }

ToolPieces *ToolResultPieces() { return g_toolPieces; }

const ToolInput *ToolInputRange() { return g_toolInput; }

int ToolInputRead(const ToolInput *input, u32 from, u32 to, ToolDocument *buffer) {
  if (ToolDocumentReserve(buffer, static_cast<u64>(MeasureText(input->store, from, to, input->newlineMode)) + 1) != 0)
    return -1;
  buffer->length = ReadText(input->store, from, to, buffer->text, buffer->capacity - 1, input->newlineMode, nullptr);
  buffer->text[buffer->length] = 0;
  return 0;
}

u32 g_toolInputChunk = 1u << 20;
u32 g_toolHalves = 4u << 20;

u32 ToolInputCut(const ToolInput *input) {
  const u32 length = input->to - input->from;
  return length >= g_toolHalves ? ToolInputNextLine(input, input->from + length / 2) : input->to;
}

u32 ToolInputNextLine(const ToolInput *input, u32 p) {
  const TextStore *s = input->store;
  if (p >= input->to) return input->to;
  const u32 next = FirstRowOfHardLine(s, RowHardLine(s, RowOfPosition(s, p)) + 1);
  const u32 start = next >= RowCount(s) ? s->length : RowStart(s, next);
  return start < input->to ? start : input->to;
}

bool ToolCancelled() { return g_toolOp && LongOperationCancelled(g_toolOp); }

void ToolProgress(u32 units) {
  if (g_toolOp) g_toolOp->progress.fetch_add(units, std::memory_order_relaxed);
}

// ---- the run ----

namespace {

bool Builds(const ToolDescriptor *t) { return t->buildFromText || t->buildFromDocument; }

// Whether the tool may read its input from the document and leave its
// result in pieces: a build tool, or one that rewrites its private text
// (which it then leaves empty).
bool Streams(const ToolDescriptor *t) { return (t->flags & kToolReadsInput) && (Builds(t) || t->transformDocument); }

struct Job {
  ToolDescriptor *tool;
  ToolDocument in;   // the input (the text kinds' buffer too)
  ToolDocument out;  // what the build kinds write
  ToolPieces pieces[2];  // what follows it
  ToolInput input;       // what a tool that reads the document reads
  const char *newline;  // the document's newline sequence
};

int Work(LongOperation *op) {
  Job *job = static_cast<Job *>(op->context);
  ToolDescriptor *t = job->tool;
  LongOperation *outer = g_toolOp;
  const char *outerNewline = g_toolNewline;
  ToolPieces *outerPieces = g_toolPieces;
  const ToolInput *outerInput = g_toolInput;
  g_toolOp = op;
  g_toolNewline = job->newline;
  g_toolPieces = Builds(t) || Streams(t) ? job->pieces : nullptr;
  g_toolInput = Streams(t) ? &job->input : nullptr;
  int r = 0;
  if (t->transformInPlace) {
    r = t->transformInPlace(job->in.text, job->in.length);
  } else if (t->transformInPlaceWithParam) {
    r = t->transformInPlaceWithParam(job->in.text, job->in.length, t->param);
  } else if (t->buildFromText) {
    r = t->buildFromText(job->in.text, job->in.length, &job->out, t->param);
  } else if (t->transformDocument) {
    r = t->transformDocument(&job->in, t->param);
  } else if (t->buildFromDocument) {
    r = t->buildFromDocument(&job->in, &job->out, t->param);
  }
  g_toolOp = outer;
  g_toolNewline = outerNewline;
  g_toolPieces = outerPieces;
  g_toolInput = outerInput;
  return r;
}

// Sets the selection, the caret first when asked.
void SelectRange(Document *doc, u32 from, u32 to, bool caretFirst) {
  if (caretFirst) {
    SetSelection(doc, to, from);
  } else {
    SetSelection(doc, from, to);
  }
}

// Where a selection's end goes when it lies at the start of a line or inside
// a newline: the end of the text of the line before; `end` when it stays.
u32 PulledBackEnd(const Document *doc, u32 start, u32 end) {
  const u32 line = HardLineOfPosition(doc, end);
  u32 to = end;
  if (end == HardLineStart(doc, line)) {
    if (line > 0) to = HardLineTextEnd(doc, line - 1);
  } else if (end > HardLineTextEnd(doc, line)) {
    to = HardLineTextEnd(doc, line);  // between a CR and its LF
  }
  return to < start ? start : to;
}

// Reads [from, to) with the newline mode into the job's input, one byte
// longer than the text (zeroed). The room is counted in 64 bits: a newline
// written as CR LF may double a text. 0 or -1.
int ReadInput(const Document *doc, u32 from, u32 to, u32 newlineMode, ToolDocument *in) {
  const TextStore *s = &doc->store;
  u64 room = static_cast<u64>(to - from) + 1;
  if (newlineMode & (kReadHardCR | kReadHardLF))
    room += HardLineOfPosition(doc, to) - HardLineOfPosition(doc, from) + 1;
  if (newlineMode & (kReadSoftCR | kReadSoftLF)) room += 2ull * (RowOfPosition(s, to) - RowOfPosition(s, from) + 1);
  if (ToolDocumentReserve(in, room) != 0) return -1;
  in->length = ReadText(s, from, to, in->text, in->capacity - 1, newlineMode, nullptr);
  in->text[in->length] = 0;
  return 0;
}

// Takes the first n bytes inserted at b out again, with the steps recorded
// since `steps`: the document as it was, without needing memory.
void TakeOut(Document *doc, u32 b, u32 n, u32 steps, u32 modified, u32 autoSaveModified) {
  TextStore *s = &doc->store;
  DeleteRange(s, b, b + n, 0);
  while (doc->undo.count > steps) PopStep(&doc->undo);
  CloseStep(&doc->undo);
  doc->modified = modified;
  doc->modifiedSinceAutoSave = autoSaveModified;
  u32 row = RowOfPosition(s, b);
  if (row > 0 && RowStart(s, row) == b) row--;
  if (doc->events.relayout) doc->events.relayout(doc->events.context, doc, row, b);
  if (doc->events.repaint) doc->events.repaint(doc->events.context, doc, row, row, true, 0);
}

// The length of a result in parts, or more than a document holds.
u64 ResultLength(const ToolDocument &text, const ToolPieces *pieces) {
  return static_cast<u64>(text.length) + pieces[0].length + pieces[1].length;
}

// Puts the text, then the two parts in pieces after it, in place of [a, b)
// as one undo step, all or nothing. A text of the same length (not in
// pieces) is written over the old one; otherwise the new text goes in after the old (each part
// either goes in whole or not at all), then the old text goes, its deletion
// joining the insertions' step. When a later part cannot be inserted or the
// deletion cannot be recorded, what went in is taken out again without
// needing memory. 0, or 48 (the document reported the failure).
// A result as long as [a, b) and all in pieces put in the old text's place
// (its blocks, the rows staying): 1 or 2 done, 0 out of memory, -2 when it
// does not apply (a newline would change, or the text is short).
int SwapIn(Document *doc, u32 a, u32 b, ToolPieces *pieces, u32 flags) {
  const u32 count = pieces[0].count + pieces[1].count;
  char **piece = static_cast<char **>(Allocate(static_cast<size_t>(count) * sizeof(char *)));
  u32 *lengths = static_cast<u32 *>(Allocate(static_cast<size_t>(count) * sizeof(u32)));
  int r = -2;
  if (piece && lengths) {
    u32 k = 0;
    for (int part = 0; part < 2; part++) {
      const ToolPieces &p = pieces[part];
      for (u32 i = 0; i < p.count; i++, k++) {
        piece[k] = p.piece[i];
        lengths[k] = PieceLength(p, i);
      }
    }
    SetSelection(doc, a, b);
    const bool same = (!pieces[0].count || pieces[0].sameNewlines) && (!pieces[1].count || pieces[1].sameNewlines);
    r = OverwriteSelectionPieces(doc, piece, lengths, b - a,
                                 flags | kReplaceCloseBefore | kReplaceCloseAfter | (same ? kReplaceSameNewlines : 0));
    // The pieces the document took are its own.
    k = 0;
    for (int part = 0; part < 2; part++)
      for (u32 i = 0; i < pieces[part].count; i++, k++)
        if (!piece[k]) pieces[part].piece[i] = nullptr;
  }
  Free(piece);
  Free(lengths);
  return r;
}

int PutBack(Document *doc, u32 a, u32 b, const ToolDocument &text, ToolPieces *pieces, u32 flags) {
  const u32 length = static_cast<u32>(ResultLength(text, pieces));  // the caller checked it
  if (length == b - a && a < b && text.length == 0) {
    const int r = SwapIn(doc, a, b, pieces, flags);
    if (r != -2) return r == 0 ? kResultReported : 0;
  }
  if (length == b - a && a < b && length == text.length) {
    // As long as it was and with the newlines where they were (a case
    // change): written over the old text.
    SetSelection(doc, a, b);
    const int r = OverwriteSelection(doc, text.text, flags | kReplaceCloseBefore | kReplaceCloseAfter);
    if (r != -2) return r == 0 ? kResultReported : 0;
  }
  if (length == 0 && a == b) return 0;  // nothing in, nothing out
  const u32 modified = doc->modified, autoSaveModified = doc->modifiedSinceAutoSave;
  const u32 steps = doc->undo.count;
  flags |= kReplaceFromBytes | kReplaceKeepRedo;
  u32 inserted = 0;
  for (int part = 0; part < 3; part++) {
    const u32 n = part == 0 ? text.length : pieces[part - 1].length;
    if (n == 0) continue;
    SetSelection(doc, b + inserted, b + inserted);
    const u32 close = (inserted == 0 ? kReplaceCloseBefore : 0) | (a == b && inserted + n == length ? kReplaceCloseAfter : 0);
    const int r = part == 0 ? ReplaceSelectionCounted(doc, text.text, n, flags | close, nullptr)
                            : ReplaceSelectionPieces(doc, pieces[part - 1].piece, n, flags | close, nullptr,
                                                     pieces[part - 1].lengths);
    if (!r) {
      if (inserted) TakeOut(doc, b, inserted, steps, modified, autoSaveModified);
      return kResultReported;
    }
    inserted += n;
  }
  if (a < b) {
    SetSelection(doc, a, b);
    i32 count = 0;
    const u32 close = length ? kReplaceCloseAfter : kReplaceCloseBefore | kReplaceCloseAfter;
    if (!ReplaceSelection(doc, nullptr, (flags & ~kReplaceFromBytes) | close, &count) && count < 0) {
      if (length) TakeOut(doc, b, length, steps, modified, autoSaveModified);
      return kResultReported;
    }
  }
  ClearJournal(&doc->redo);
  return 0;
}

void ShowMessage(const ToolHost &host, const char *text) {
  if (host.message && text && text[0]) host.message(host.context, text);
}

}  // namespace

int RunTool(Document *doc, ToolDescriptor *tool, const ToolHost &host, const ToolRunSettings &settings) {
  const u32 f = tool->flags;
  tool->result = 0;
  // 1.
  if (host.status) host.status(host.context, Text(TXT_PROCESSING));
  const u32 anchorBefore = doc->anchor.position, caretBefore = doc->caret.position;
  const bool caretFirst = caretBefore < anchorBefore;
  // 2. The input range.
  u32 pushBack = 0;
  bool autoTried = false;
  int result = 0;
  u32 a = 0, b = 0;
  for (;;) {
    a = doc->selStart->position;
    b = doc->selEnd->position;
    pushBack = 0;
    if (!(f & (kToolWholeDocument | kToolNoInput | kToolNoPullBack)) && a != b &&
        !((f & kToolNoPullBackAll) && a == 0 && b == doc->store.length)) {
      const u32 to = PulledBackEnd(doc, a, b);
      if (to != b) {
        pushBack = b - to;
        b = to;
        SelectRange(doc, a, b, caretFirst);
      }
    }
    if (a != b || (f & (kToolEmptyOk | kToolWholeDocument | kToolNoInput))) break;
    if (autoTried) {
      result = kResultCancelled;
      break;
    }
    autoTried = true;
    int unit = settings.autoSelect >= 0 && settings.autoSelect <= 4 ? settings.autoSelect : 2;
    if (unit == 0) {
      if (AskUser(host.owner, TXT_NEEDS_SELECTION, kAskYesNo) != kAnswerYes) {
        result = kResultCancelled;
        break;
      }
      unit = 4;
    }
    u32 na = 0, nb = doc->store.length;
    if (unit != 4 && !UnitAround(doc, unit - 1, doc->caret.position, &na, &nb)) {
      result = kResultCancelled;
      break;
    }
    SetSelection(doc, na, nb);
  }
  // 3, 4. The input.
  Job job = {tool, {}, {}, {{}, {}}, {}, NewlineSequence(doc->newlineType)};
  if (result == 0 && !(f & kToolNoInput)) {
    u32 from = a, to = b;
    if (f & kToolWholeDocument) {
      from = 0;
      to = doc->store.length;
    }
    if ((f & kToolPreview) && to - from > kToolPreviewChars) to = from + kToolPreviewChars;
    u32 mode = tool->newlineMode;
    if (mode == kToolSoftNewlines)
      mode = doc->newlineType == 1 ? kReadSoftLF : doc->newlineType == 2 ? kReadSoftCR : kReadSoftCR | kReadSoftLF;
    if (Streams(tool)) {
      job.input = ToolInput{&doc->store, from, to, mode};
    } else if (ReadInput(doc, from, to, mode, &job.in) != 0) {
      result = kResultOutOfMemory;
    }
  }
  if (tool->resultSelection) tool->resultSelection->set = false;
  tool->message[0] = 0;  // what the tool leaves is all there is to show
  // 5. The function, on the worker or inline.
  if (result == 0) {
    LongOperation op = {};
    op.work = Work;
    op.context = &job;
    op.waitText = Text(TXT_PLEASE_WAIT);
    op.statusText = Text(TXT_WORKING);
    op.waitAtOnce = (f & kToolWaitAtOnce) != 0;
    if (f & kToolCounted) {
      const u32 to = (f & kToolWholeDocument) ? doc->store.length : b;
      op.total = HardLineOfPosition(doc, to) - HardLineOfPosition(doc, (f & kToolWholeDocument) ? 0 : a) + 1;
    }
    const bool worker = (f & kToolNeverInline) || ((f & kToolWorker) && !settings.noThread);
    int r;
    if (host.runLong) {
      r = host.runLong(host.context, &op, worker ? 0u : static_cast<u32>(kRunInline));
    } else {
      op.random = ThreadRecordCurrent();
      r = op.work(&op);
    }
    // 6.
    if (r == 0 && op.cancel.load()) r = kResultCancelled;
    ToolDocument &made = Builds(tool) ? job.out : job.in;
    const u64 length = ResultLength(made, job.pieces);
    if (r == 0 && length > made.length) {
      // A result in pieces goes back as insertions the document takes as
      // they are; the later steps that need one text get it joined.
      if (length > kMaxToolBytes) {
        r = kResultOutOfMemory;
      } else if (tool->afterRun || tool->target) {
        if (ToolDocumentReserve(&made, length + 1) != 0) r = kResultOutOfMemory;
        for (ToolPieces &part : job.pieces) {
          for (u32 i = 0; i < part.count && r == 0; i++)
            if (ToolDocumentAppend(&made, part.piece[i], PieceLength(part, i)) != 0) r = kResultOutOfMemory;
          ToolPiecesFree(&part);
        }
      }
    }
    if (r == 0 && tool->afterRun) r = tool->afterRun(Builds(tool) ? &job.out : nullptr, tool->param);
    result = r;
  }
  // 7, 8. The result goes back.
  bool changed = false;
  if (result == 0 && !(f & kToolReadOnly)) {
    ToolDocument *res = Builds(tool) ? &job.out : &job.in;
    if (Builds(tool)) ToolDocumentFree(&job.in);
    if (tool->target) {
      result = host.setTargetText ? host.setTargetText(host.context, tool->target, res->text, res->length) : 0;
    } else {
      const bool keep = (settings.persistent && !(f & kToolNoPersistent)) || (tool->replaceFlags & kToolKeepSelection);
      const bool noScroll = settings.noScroll && !(f & kToolNoKeepView);
      const u32 extra = (tool->replaceFlags & ~kToolKeepSelection) | (noScroll ? kReplaceView1 : 0);
      result = PutBack(doc, a, b, *res, job.pieces, extra);
      if (result == 0) {
        changed = true;
        const u32 length = static_cast<u32>(ResultLength(*res, job.pieces));
        const ToolResultSelection *part = tool->resultSelection;
        if (part && part->set && part->from <= part->to && part->to <= length)
          SelectRange(doc, a + part->from, a + part->to, keep && caretFirst);
        else
          SelectRange(doc, a, a + length + pushBack, keep && caretFirst);
        if (host.selectionShown) host.selectionShown(host.context, noScroll ? kReplaceView1 : 0);
      }
    }
  }
  if (result == kResultNoChange) result = 0;
  if (!changed) {
    SetSelection(doc, anchorBefore, caretBefore);
    if (host.selectionShown) host.selectionShown(host.context, kReplaceView1);
  }
  // 9.
  ToolDocumentFree(&job.in);
  ToolDocumentFree(&job.out);
  for (ToolPieces &p : job.pieces) ToolPiecesFree(&p);
  if (result == kToolMessageText || (result == 0 && tool->message[0])) {
    // A tool's own message; one that succeeded may leave one too (a count).
    ShowMessage(host, tool->message);
  } else if (result > 0 && result < 0x10000 && result != kResultCancelled && result != kResultReported) {
    const int slot = TextSlotOfId(static_cast<u16>(result));
    if (slot == TXT_OUT_OF_MEMORY) {
      result = kResultOutOfMemory;
    } else if (slot >= 0) {
      ShowMessage(host, Text(static_cast<TextSlot>(slot)));
    }
  }
  if (host.status) host.status(host.context, nullptr);
  tool->result = result;
  return result;
}
