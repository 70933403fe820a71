#include "tools/tool_table.h"

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "tools/columns_numbers.h"
#include "tools/compare_statistics.h"
#include "tools/grep_tools.h"
#include "tools/sort_tools.h"
#include "tools/text_tools.h"

u32 g_grepLineBase = 1;

namespace {

// A tool working on a copy of the selection or building a text: on the
// worker, with a running count.
constexpr u32 kDocumentTool = kToolDocumentDefault;

template <int (*F)(char *, u32)>
void InPlace(ToolDescriptor *t) {
  t->transformInPlace = F;
}

// A case tool that reads the document itself (inline, as the others).
template <int (*F)(ToolDocument *, ToolParam)>
void EachCharacter(ToolDescriptor *t) {
  t->transformDocument = F;
  t->flags = kToolReadsInput;
}

template <int (*F)(ToolDocument *, ToolParam), ToolParam kMode>
void Lines(ToolDescriptor *t) {
  t->transformDocument = F;
  t->param = kMode;
  t->flags = kDocumentTool;
}

// A line tool that reads the document's lines a chunk at a time.
template <int (*F)(ToolDocument *, ToolParam), ToolParam kMode>
void StreamedLines(ToolDescriptor *t) {
  Lines<F, kMode>(t);
  t->flags |= kToolReadsInput;
}

// Quote and Close take their settings as they are at each run.
LinePhraseSettings g_phrase;

void Indent(ToolDescriptor *t) {
  t->transformDocument = AddLinePhrase;
  t->param = 0;
  t->flags = kDocumentTool | kToolReadsInput;
  t->replaceFlags = kToolKeepSelection;
}

void Quote(ToolDescriptor *t) {
  g_phrase = QuoteSettings();
  Indent(t);
  t->param = reinterpret_cast<ToolParam>(&g_phrase);
}

void Close(ToolDescriptor *t) {
  g_phrase = CloseSettings();
  Indent(t);
  t->param = reinterpret_cast<ToolParam>(&g_phrase);
}

// The quick sorts read TSortIC and the locale at each run; Shuffle only needs
// the newline. One tool runs at a time, so one record serves them all.
SortRequest g_sortRequest;

template <bool kDescending>
void QuickSort(ToolDescriptor *t) {
  QuickSortRequest(kDescending, &g_sortRequest);
  t->buildFromDocument = SortLinesTool;
  t->param = reinterpret_cast<ToolParam>(&g_sortRequest);
  t->flags = kDocumentTool;
}

// Sort.. with the keys its dialog stored (or, as the Last Tool, last stored).
void SortWithStoredKeys(ToolDescriptor *t) {
  StoredSortRequest(&g_sortRequest);
  t->buildFromDocument = SortLinesTool;
  t->param = reinterpret_cast<ToolParam>(&g_sortRequest);
  t->flags = kDocumentTool;
}

void Shuffle(ToolDescriptor *t) {
  QuickSortRequest(false, &g_sortRequest);
  t->buildFromDocument = ShuffleLinesTool;
  t->param = reinterpret_cast<ToolParam>(&g_sortRequest);
  t->flags = kDocumentTool;
}

// Unique and Unique ignoring case have fixed settings; Find Duplicates
// takes the dialog's at each run.
const DuplicatesSettings kUnique = {0, 0, 0, 0}, kUniqueIgnoringCase = {0, 1, 0, 0};
DuplicatesSettings g_duplicates;

template <const DuplicatesSettings *kSettings>
void Unique(ToolDescriptor *t) {
  t->transformDocument = FindDuplicates;
  t->param = reinterpret_cast<ToolParam>(kSettings);
  t->flags = kDocumentTool;
}

void Duplicates(ToolDescriptor *t) {
  const ToolSettings &s = g_settings.tools;
  g_duplicates = DuplicatesSettings{s.UniJob, s.UniIC, s.UniEmpt, s.UniDup};
  Unique<&g_duplicates>(t);
}

void ReverseLines(ToolDescriptor *t) {
  t->buildFromDocument = ReverseLineOrder;
  t->flags = kDocumentTool | kToolReadsInput;  // a chunk of lines at a time, from the last
}

// Commit Wrapping: the text goes out with the wrap points as the document's
// newlines and comes back so, read where it lies.
void CommitWrapping(ToolDescriptor *t) {
  t->transformDocument = CommitWrappingText;
  t->flags = kToolReadsInput;
  t->newlineMode = kToolSoftNewlines;
}

// The Text menu's dialog tools read their settings at each run.
TranslateSettings g_translate;
EncloseSettings g_enclose;
TagSettings g_tag;
ToolResultSelection g_resultSelection;

void ExtractWordsRow(ToolDescriptor *t) {
  t->buildFromText = ExtractWords;
  t->flags = kDocumentTool;
}

void Translate(ToolDescriptor *t) {
  const ToolSettings &s = g_settings.tools;
  g_translate = TranslateSettings{s.TrFind, s.TrRepl, s.TrEsc, s.TrDel};
  t->transformDocument = TranslateChars;
  t->param = reinterpret_cast<ToolParam>(&g_translate);
  t->flags = kTranslateToolFlags;
}

void Enclose(ToolDescriptor *t) {
  g_enclose = EncloseSettings{g_settings.tools.EnBefor, g_settings.tools.EnAfter, &g_resultSelection};
  t->buildFromText = EncloseText;
  t->param = reinterpret_cast<ToolParam>(&g_enclose);
  t->flags = kToolEmptyOk | kToolNoPullBack | kToolEmptyLine;
  t->resultSelection = &g_resultSelection;
}

void Tag(ToolDescriptor *t) {
  const ToolSettings &s = g_settings.tools;
  g_tag = TagSettings{s.XmlName, s.XmlAttr, s.XmlEmpt, &g_resultSelection};
  t->buildFromText = TagText;
  t->param = reinterpret_cast<ToolParam>(&g_tag);
  t->flags = kToolEmptyOk | kToolNoPullBack;
  t->resultSelection = &g_resultSelection;
}

// Grep and Extended Replace take the dialog's settings at each run and
// leave their message in the descriptor.
GrepSettings g_grep;
ExtendedReplaceSettings g_extendedReplace;

void Grep(ToolDescriptor *t) {
  const ToolSettings &s = g_settings.tools;
  g_grep = GrepSettings{s.GrFind,  s.GrRem,  s.GrOnly,  s.GrCase,  s.GrWWord, s.GrWLine, s.GrEsc,
                        s.GrRgEx,  s.GrNmbr, s.GrEmpty, s.GrBefor, s.GrAfter, g_grepLineBase, t->message};
  t->buildFromDocument = GrepTool;
  t->param = reinterpret_cast<ToolParam>(&g_grep);
  t->flags = kDocumentTool | kToolReadsInput;  // the whole document where it lies
}

void ExtendedReplace(ToolDescriptor *t) {
  const ToolSettings &s = g_settings.tools;
  g_extendedReplace = ExtendedReplaceSettings{s.RepPatt, s.RepRepl, s.RepCase, s.RepWrds, s.RepRgEx, s.RepMim,
                                              t->message};
  t->buildFromDocument = ExtendedReplaceTool;
  t->param = reinterpret_cast<ToolParam>(&g_extendedReplace);
  t->flags = kDocumentTool | kToolNoPullBackAll | kToolReadsInput;
}

// Columns, Numbers runs with the stored settings (its dialog's OK stores
// them first).
ColumnsRequest g_columnsRequest;

void ColumnsNumbers(ToolDescriptor *t) {
  ColumnsRequestFromSettings(&g_columnsRequest);
  t->buildFromDocument = ColumnsNumbersTool;
  t->param = reinterpret_cast<ToolParam>(&g_columnsRequest);
  t->flags = kDocumentTool | kToolReadsInput;  // a chunk of lines at a time, not a copy
}

// Statistics counts the selection, even an empty one, as it is, on the
// worker; the dialog sets the record to fill (and the whole-document flag
// for its second run).
void Statistics(ToolDescriptor *t) {
  t->transformInPlaceWithParam = StatisticsTool;
  t->flags = kToolReadOnly | kToolEmptyOk | kToolNoPullBack | kToolWorker | kToolCounted;
}

// Compare works in its dialog alone: run as a tool it takes nothing and
// gives nothing back.
void Compare(ToolDescriptor *t) { t->flags = kToolReadOnly | kToolNoInput; }

const ToolRow kRows[] = {
    {31010, 0, EachCharacter<ToUpperCase>},
    {31020, 0, EachCharacter<ToLowerCase>},
    {31030, 0, EachCharacter<InvertCase>},
    {31040, 0, InPlace<WordCapitals>},
    {31050, 0, InPlace<FirstCapital>},
    {31060, 0, InPlace<MakeSentences>},
    {31070, 0, InPlace<RandomCase>},
    {31080, 0, InPlace<FunCase>},
    {32110, 0, StreamedLines<TrimLines, 0>},
    {32120, 0, StreamedLines<TrimLines, 1>},
    {32130, 0, StreamedLines<RemoveEmptyLines, 0>},
    {32140, 0, StreamedLines<RemoveEmptyLines, 1>},
    {32210, kToolRowKeepsSelection, Indent},
    {32230, kToolRowDialog | kToolRowKeepsSelection, Quote},
    {32240, 0, Lines<RemoveLineChar, 16>},
    {32250, 0, Lines<RemoveLineChar, 8>},
    {32260, 0, Lines<RemoveLineChar, 4>},
    {32310, kToolRowDialog | kToolRowKeepsSelection, Close},
    {32320, 0, Lines<RemoveLineChar, 2>},
    {32330, 0, Lines<RemoveLineChar, 1>},
    {32410, 0, StreamedLines<RetabLines, 1>},
    {32420, 0, StreamedLines<RetabLines, 0>},
    {32510, 0, Unique<&kUnique>},
    {32511, 0, Unique<&kUniqueIgnoringCase>},
    {32520, kToolRowDialog, Duplicates},
    {34110, kToolRowDialog, Enclose},
    {34120, kToolRowDialog, Tag},
    {34210, 0, ExtractWordsRow},
    {34310, kToolRowDialog, Translate},
    {34410, kToolRowDialog | kToolRowDialogOnly, Statistics},
    {34450, kToolRowDialog | kToolRowDialogOnly, Compare},
    {35120, 0, InPlace<ReverseText>},
    {35140, 0, ReverseLines},
    {35160, 0, InPlace<ReverseEachWord>},
    {35320, 0, StreamedLines<ReverseEachLine, 0>},
    {35340, 0, InPlace<ReverseWordOrder>},
    {35360, 0, StreamedLines<ReverseEachLine, kReverseLineWords>},
    {32610, kToolRowDialog, ColumnsNumbers},
    {32620, kToolRowDialog, Grep},
    {34320, kToolRowDialog, ExtendedReplace},
    {36110, kToolRowDialog, SortWithStoredKeys},
    {36120, 0, QuickSort<false>},
    {36130, 0, QuickSort<true>},
    {36210, 0, Shuffle},
    {39010, 0, CommitWrapping},
    {39020, 0, Lines<UnwrapLines, 1>},
    {39030, 0, Lines<UnwrapLines, 0>},
};

}  // namespace

const ToolRow *FindToolRow(int id) {
  for (const ToolRow &row : kRows)
    if (row.id == id) return &row;
  return nullptr;
}

bool DescribeTool(int id, ToolDescriptor *tool) {
  const ToolRow *row = FindToolRow(id);
  if (!row) return false;
  MemZero(tool, sizeof *tool);
  row->fill(tool);
  return true;
}
