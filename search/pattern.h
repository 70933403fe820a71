// Search patterns: the language and its compiled form.
//
// A pattern text plus option flags compiles into a CompiledPattern: a graph of
// PatternNode records, class bitmaps, a pool of literal strings, the number of
// capture slots and the shortest and longest match. The matcher (matcher.h)
// runs it over a document. Three levels, chosen by the flags:
//   plain      every character stands for itself;
//   Escapes    plain text plus \0 \\ \n \t;
//   RegExps    the full dialect (groups, classes, quantifiers, look-around,
//              atomic groups, back-references, \Q..\E, \K, anchors).
//
// The graph. Node 0 is where matching starts: the frame laid down around the
// user's pattern ([^] [\y] group-0 opening, body, group-0 closing [\Y] [$]).
// `next` links a sequence; 0 means the end of the whole pattern. A sequence
// inside a group ends at the group's closing node. The first node of each
// alternative of a group body carries `alternative`, the first node of the
// next alternative (or the closing node for an empty last alternative). Every
// node has a repeat (minRepeat..maxRepeat, kRepeatUnbounded) and a mode;
// a group's repeat sits on its opening node and is copied to its closing node.
//
// Ownership and failure. The CompiledPattern is one large block owned by its
// user, who allocates it (never on the stack), compiles into it, and calls
// FreePattern before releasing it or compiling into it again. CompilePattern
// clears the whole object first; on any result FreePattern is all the cleanup
// there is. Out of memory gives -1 and never leaves the object unsafe to free.
#pragma once

#include "foundation/memory.h"
#include "foundation/texts.h"
#include "foundation/types.h"

// ---- option flags ----------------------------------------------------------------
constexpr u32 kPatternEscapes = 0x0001;       // \0 \\ \n \t in plain text
constexpr u32 kPatternRegExps = 0x0002;       // the full dialect (Escapes then has no effect)
constexpr u32 kPatternAnyNewline = 0x0004;    // a typed CR or LF stands for any newline
constexpr u32 kPatternIgnoreCase = 0x0010;
constexpr u32 kPatternWholeWords = 0x0020;
constexpr u32 kPatternWholeLines = 0x0040;
constexpr u32 kPatternUndefinedSkip = 0x0100;   // replace loop: skip occurrences with undefined references
constexpr u32 kPatternUndefinedEmpty = 0x0200;  // replace loop: undefined references expand to nothing
constexpr u32 kPatternWholeContext = 0x1000;    // the matcher sees to the document's end, not the range end

// ---- sizes -------------------------------------------------------------------------
constexpr u32 kPatternTextBytes = 65536;   // pattern copy, replace text, literal pool
constexpr u32 kPatternMaxChars = 65535;    // the pattern copy is cut here
constexpr i32 kRepeatUnbounded = 0x7FFFFFFF;
constexpr u32 kLengthUnbounded = 0x7FFFFFFF;
constexpr u32 kMinGroupSlots = 10;         // groups 0-9 always have slots
constexpr u32 kClassTableBytes = 256;
constexpr u32 kPredefinedClasses = 19;     // classes 0-18; bracket classes from 19 on
constexpr u32 kPredefinedTables = 3;
// "No position": a group that did not take part, no \G position.
constexpr u32 kNoPosition = 0xFFFFFFFFu;

// ---- results -----------------------------------------------------------------------
enum PatternError : int {
  kPatternOk = 0,
  kPatternEndOfGroup = 1,       // ")" at top level
  kPatternBleedingGroup = 2,    // the text ends inside a group
  kPatternBleedingQuote = 3,    // \Q without \E
  kPatternBleedingInterval = 4, // "{" not closed by "}" after its digits
  kPatternBleedingClass = 5,    // the text ends inside a bracket class
  kPatternUnknownClass = 6,     // [:name:] with an unknown name
  kPatternOutOfMemory = -1,     // also: more than 65,535 characters of literal text
};
enum PatternWarning : int {
  kPatternNoWarning = 0,
  kPatternUnknownEscape = 1,
  kPatternReversedRange = 2,
};

// The text slot of a compile result (1-6, -1) or of a warning (1-2); the
// texts are "Pattern error: ..." (529-534), "Out of Memory!" (513) and
// "Pattern warning: ..." (535-536).
TextSlot PatternErrorText(int result);
TextSlot PatternWarningText(int warning);

// ---- the graph ----------------------------------------------------------------------
enum PatternNodeKind : u8 {
  kNodeEmpty = 0,          // an empty sequence slot
  kNodeOpen = 1,           // A = min body length, B = max body length; next = first body node
  kNodeClose = 2,          // A = slot, B = opening node; next = node after the group
  kNodeTextStart = 3,      // \A
  kNodeTextEnd = 4,        // \Z
  kNodeParagraphStart = 5, // \p
  kNodeLineStart = 6,      // ^
  kNodeParagraphEnd = 7,   // \P
  kNodeLineEnd = 8,        // $
  kNodeWordBoundary = 9,   // \b
  kNodeNotWordBoundary = 10,  // \B
  kNodeWordStart = 11,     // \y
  kNodeWordEnd = 12,       // \Y
  kNodeSearchStart = 13,   // \G
  kNodeChar = 16,          // A = the character (lower case with ignore case), B = upper case (or A)
  kNodeAny = 32,           // . : anything but CR and LF
  kNodeClass = 48,         // A = bitmap table, B = bit mask
  kNodeString = 64,        // A = offset into the literal pool, B = length
  kNodeNewline = 80,       // CR LF, LF or CR as one unit
  kNodeBackRef = 96,       // A = group 1-9
};
constexpr u32 kNodeKindLimit = 97;  // kinds index tables of this size

// Mode flags.
constexpr u8 kModeGreedy = 0x01;
constexpr u8 kModePossessive = 0x02;   // with kModeGreedy; neither: lazy
constexpr u8 kModeNegative = 0x04;     // groups:
constexpr u8 kModeResetStart = 0x08;   // \K
constexpr u8 kModeNonCapturing = 0x10;
constexpr u8 kModeBranchReset = 0x20;
constexpr u8 kModeLookAhead = 0x40;
constexpr u8 kModeLookBehind = 0x80;
constexpr u8 kModeRepeatMask = kModeGreedy | kModePossessive;
constexpr u8 kModeLazy = 0;
constexpr u8 kModeAtomic = kModeGreedy | kModePossessive | kModeNonCapturing;  // (?>...)

// Matching hints, worked out after the optimisation passes. They change
// how fast a node runs, never what it matches.
constexpr u8 kHintNeverGiveBack = 0x01;  // greedy repeat whose follower can not start with a member
constexpr u8 kHintFollowBytes = 0x02;    // the follower must start with byte follow & 255 or follow >> 8

struct PatternNode {
  u32 alternative;  // first node of the next alternative (0 = none)
  u32 next;         // next node of the sequence (0 = end of the pattern)
  u8 kind;          // PatternNodeKind
  u32 a;            // operand A
  u32 b;            // operand B
  i32 minRepeat;
  i32 maxRepeat;    // kRepeatUnbounded: no limit
  u8 mode;          // kMode* flags
  u8 hint;          // kHint* flags
  u16 follow;       // with kHintFollowBytes
  u32 partner;      // opening node: its closing node
};
static_assert(sizeof(PatternNode) == 36, "a pattern node is nine words");

// How a forward scan may skip positions where no match can start. Worked
// out from the graph once per compile (plus, for the plain levels, the live
// word rule at the start of each scan).
enum ScanAnchor : u8 {
  kAnchorNone = 0,
  kAnchorContextStart,  // the pattern starts with \A
  kAnchorSearchStart,   // \G
  kAnchorLineStart,     // ^ or \p (also whole lines)
};
// What the byte before a match start must be (besides firstSet for its first byte).
constexpr u8 kPrevNonWord = 0x01;
constexpr u8 kPrevWord = 0x02;
constexpr u8 kPrevNewline = 0x04;
constexpr u8 kPrevBytes = 0x08;   // one of prevBytes[0..1]
constexpr u8 kPrevBoundary = 0x10;     // \b: word-ness differs from the first byte's (resolved per scan)
constexpr u8 kPrevNoBoundary = 0x20;   // \B: the same word-ness as the first byte's

// A literal the scan looks for: at most its first 16 bytes (lower case
// with ignore case), and the text bytes its first and last byte stand for.
constexpr u32 kPrefilterLiteralBytes = 16;
struct PrefilterLiteral {
  u32 length;  // 0: none
  u8 ignoreCase;
  u8 first[2];
  u8 last[2];
  u8 bytes[kPrefilterLiteralBytes];
};

struct PatternPrefilter {
  u8 anchor;           // ScanAnchor
  u8 firstAny;         // no condition on the first byte
  u8 prevConditions;   // kPrev* flags
  u8 firstBytes[2];    // firstCount <= 2: the members
  u8 firstAtEnd;       // with firstSet: a match may also start at the end of the text
  u8 firstRange;       // firstSet is exactly the bytes firstLow .. firstHigh
  u8 firstLow, firstHigh;
  u32 firstCount;      // members of firstSet
  u8 firstSet[256];    // nonzero: a match may start with this byte
  u8 prevBytes[2];
  u8 requiredBytes[2]; // with requiredCount 1 or 2: every match contains one of these
  u32 requiredCount;
  PrefilterLiteral start;  // a match starts with this literal
  // A match starts with a run of members of node runNode (any length from
  // its minimum, no maximum) followed by runLiteral.
  u32 runNode;         // 0: none
  PrefilterLiteral runLiteral;
  // A leading positive look-behind of one literal: a match starts right
  // after an occurrence of it.
  PrefilterLiteral before;
  // After a failed attempt the scan may skip the starts inside a run: the
  // pattern (without back-references) begins with a node of lead length
  // that stands once and then a repeat of skipNode without maximum, so every
  // later start within that run tries a subset of the same continuations.
  u32 skipNode;        // 0: none
  u32 skipLead;        // the first node: its length
  // The pattern is the start literal, whole, between assertions that stand
  // once (whole words: \y "the" \Y): where the literal stands and the
  // assertions hold, that is the match; no attempt is needed.
  u8 literalOnly;
  // The pattern is groups that stand once around a greedy run of the run
  // node, then the run literal, whole, with assertions that stand once before
  // the groups and after the literal ("(\w+)ing\b"): an attempt is the run,
  // then the literal and the assertions tried from its end back.
  u8 runLiteralOnly;
};

// The matcher's scan context (matcher.h); cleared by a compile, set by the
// caller before a search.
struct ScanContext {
  u32 searchStart;           // \G position; kNoPosition: none
  volatile i32 *cancel;      // the caller's cancel flag (null: none)
  u32 timeLimitMs;           // 0: none
  u32 startTick;             // PlatTickCount() when the search started
  i32 lastResult;            // of the last FindMatch
  i32 ownCancel;             // the flag CheckSearchTime sets when cancel is null
  u32 lookBehindReach;       // FMaxLBA: characters a look-behind may reach beyond its minimum
};

struct MatchWorkspace;  // matcher.cpp: the group array and the backtrack stack

struct CompiledPattern {
  char pattern[kPatternTextBytes];  // the copy the compiler reads, NUL-terminated
  char replace[kPatternTextBytes];  // filled by the caller after a successful compile
  u32 flags;
  i32 warning;                      // first warning only
  u32 groupCount;                   // capture and group slots (>= 10 after a compile)
  u32 minLength;
  u32 maxLength;                    // kLengthUnbounded: no limit
  u32 nodeCount;
  u32 nodeCapacity;
  PatternNode *nodes;
  u32 tableCount;                   // class bitmap tables of 256 bytes
  u32 tableCapacity;
  u8 *tables;
  u32 classCount;                   // next free class number
  u32 poolLength;
  char pool[kPatternTextBytes];     // literal strings
  PatternPrefilter prefilter;
  ScanContext scan;
  MatchWorkspace *workspace;        // kept between scans; freed by FreePattern
};

// Settings the compiler and the matcher take from the configuration.
struct PatternSettings {
  int noNewlineDecoding;  // FNlEsc: leave an Escapes "\n" as typed in the pattern copy
  u32 lookBehindReach;    // FMaxLBA (default 128)
};
// The values of the live settings (g_settings).
PatternSettings CurrentPatternSettings();

// Fills the predefined class tables (classes 0-18) from the character types of
// the ANSI code page. Called once at start-up; the first compile calls it
// when start-up has not.
void BuildPatternClassTables();
// The three predefined tables (768 bytes).
const u8 *PredefinedClassTables();

// Compiles text (NUL-terminated; cut at 65,535 characters) with the option
// flags. 0 success (check cp->warning), 1-6 a pattern error, -1 out of memory.
// Settings default to the live ones.
[[nodiscard]] int CompilePattern(CompiledPattern *cp, const char *text, u32 flags);
[[nodiscard]] int CompilePattern(CompiledPattern *cp, const char *text, u32 flags, const PatternSettings &settings);
// Releases the node array, the class tables and the match workspace.
void FreePattern(CompiledPattern *cp);

// For tests: compile without the two optimisation passes (and without the
// matching hints), so that a plain graph can be compared with an optimised one.
[[nodiscard]] int CompilePatternUnoptimised(CompiledPattern *cp, const char *text, u32 flags,
                                            const PatternSettings &settings);

// Class membership: the bit of class (table, mask) for a byte.
inline bool ClassHas(const CompiledPattern *cp, u32 table, u32 mask, u8 c) {
  return (cp->tables[table * kClassTableBytes + c] & mask) != 0;
}

// A compact text form of the graph, for tests and the qpfind driver, e.g.
//   (0 "ab" [19]{1,}? (1 'x'|\n) \1)
// Writes at most cap - 1 characters and a terminator; returns the length the
// whole dump needs.
u32 DumpPattern(const CompiledPattern *cp, char *out, u32 cap);
