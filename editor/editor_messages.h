// The editor window's private messages, its notifications to the parent, and
// the notification codes of its WM_COMMAND messages.
#pragma once

#include <windows.h>

#include "foundation/types.h"

// ---- private messages (wParam, lParam as each names them) ----
constexpr UINT EDM_REFRESH = 0x0E00;            // flags
constexpr UINT EDM_SETFONTS = 0x0E08;           // text font, auxiliary font (0: the text font)
constexpr UINT EDM_SETTEXT = 0x0E10;            // length, text
constexpr UINT EDM_SETTEXTMAPPED = 0x0E11;      // text (heap buffer, taken over), length
constexpr UINT EDM_PAGINATE = 0x0E18;
constexpr UINT EDM_GETTEXTLENGTHDOC = 0x0E20;
constexpr UINT EDM_GETTEXTLENGTHRAW = 0x0E22;
constexpr UINT EDM_GETTEXTDOC = 0x0E24;         // buffer size, buffer
constexpr UINT EDM_GETTEXT7 = 0x0E25;
constexpr UINT EDM_GETTEXTRAW = 0x0E26;
constexpr UINT EDM_GETSELLENGTHDOC = 0x0E28;
constexpr UINT EDM_GETSELLENGTHRAW = 0x0E2A;
constexpr UINT EDM_GETSELTEXT7 = 0x0E2D;
constexpr UINT EDM_GETSELTEXTRAW = 0x0E2E;
constexpr UINT EDM_REPLACESEL = 0x0E30;         // length, text
constexpr UINT EDM_WRITETEXT = 0x0E3A;          // SafeWriter* (0: convert only), WriteTextRequest* (save.h)
constexpr UINT EDM_JOURNALBREAK = 0x0E44;
constexpr UINT EDM_JOURNALSET = 0x0E45;
constexpr UINT EDM_JOURNALSTATE = 0x0E46;
constexpr UINT EDM_JOURNALTRIM = 0x0E48;
constexpr UINT EDM_JOURNALCLEAR = 0x0E49;
constexpr UINT EDM_SETSELQUIET = 0x0E50;        // anchor, caret
constexpr UINT EDM_GOTO = 0x0E58;               // number, flags
constexpr UINT EDM_GETCARETVISUAL = 0x0E60;     // &line, &column
constexpr UINT EDM_GETCARETLOGICAL = 0x0E61;    // &line, &column
constexpr UINT EDM_SETCARETLOGICAL = 0x0E62;    // line, column
constexpr UINT EDM_GETTOPOFFSET = 0x0E64;
constexpr UINT EDM_SETTOPOFFSET = 0x0E66;
constexpr UINT EDM_SETWORDWRAP = 0x0E68;
constexpr UINT EDM_GETWORDWRAP = 0x0E6A;
constexpr UINT EDM_SETOVERWRITE = 0x0E6C;
constexpr UINT EDM_GETOVERWRITE = 0x0E6E;
constexpr UINT EDM_SETNEWLINES = 0x0E70;
constexpr UINT EDM_GETNEWLINES = 0x0E78;
constexpr UINT EDM_SETENCODING = 0x0E80;        // request word, code page index
constexpr UINT EDM_NEXTENCODING = 0x0E84;
constexpr UINT EDM_TOGGLEBOM = 0x0E85;
constexpr UINT EDM_GETENCODING = 0x0E88;
constexpr UINT EDM_GETBOM = 0x0E89;
constexpr UINT EDM_GETEFFECTIVEBOM = 0x0E8A;
constexpr UINT EDM_GETCODEPAGE = 0x0E8B;
constexpr UINT EDM_GETENCODINGFLAG = 0x0E8C;
constexpr UINT EDM_SETFILENAME = 0x0E90;        // full path, display name
constexpr UINT EDM_HASFILENAME = 0x0E91;
constexpr UINT EDM_GETFILENAME = 0x0E92;        // path buffer, name buffer (261 bytes each)
constexpr UINT EDM_GETMEMINFO = 0x0EA0;
constexpr UINT EDM_GETCHARWIDTH = 0x0EA1;
constexpr UINT EDM_COMPACT = 0x0EA5;
constexpr UINT EDM_CANREINSERTDELETED = 0x0EB0;
constexpr UINT EDM_CANREINSERTINSERTED = 0x0EB1;
constexpr UINT EDM_RUNLONG = 0x0EC0;
constexpr UINT EDM_RUNBLOCKS = 0x0EC1;          // BlockRun*, flags (kRunBlocksCollapse)
constexpr UINT EDM_SETSELUPDATE = 0x0EC3;
constexpr UINT EDM_SETSELRESET = 0x0EC4;
constexpr UINT EDM_EDIT = 0x0EC6;               // EditBatch*, 0 (batch_edit.h)
constexpr UINT EDM_COLLAPSESEL = 0x0EC7;
constexpr UINT EDM_UPDATE = 0x0EC8;
constexpr UINT EDM_RUNLASTTOOL = 0x0EC9;
constexpr UINT EDM_SETHIGHLIGHT1 = 0x0ECC;
constexpr UINT EDM_SETHIGHLIGHT2 = 0x0ECD;
constexpr UINT EDM_CLEARHIGHLIGHT1 = 0x0ECE;
constexpr UINT EDM_CLEARHIGHLIGHT2 = 0x0ECF;
constexpr UINT EDM_SUGGESTFILENAME = 0x0ED1;    // buffer of 260 bytes, 1: from the selection
constexpr UINT EDM_SELISURL = 0x0ED5;
constexpr UINT EDM_TRANSLATE = 0x0EF1;
constexpr UINT EDM_WORKERASK = 0x0EF8;          // 0, question record (a worker's question, asked here)

// The record of EDM_RUNBLOCKS: the caller's operation, given the selection
// (the whole text when nothing is selected) a piece of at most 64 KiB at a
// time, in order; a nonzero return stops the run and is its result.
struct BlockRun {
  int (*block)(void *context, const char *bytes, u32 length, u32 offset);
  void *context;
};
constexpr UINT kRunBlocksCollapse = 1;  // an empty selection is collapsed first
constexpr u32 kRunBlockBytes = 65536;

// ---- refresh flags (EDM_REFRESH), run in this order ----
constexpr UINT kRefreshResetLayout = 0x0001;
constexpr UINT kRefreshDropCaches = 0x0400;
constexpr UINT kRefreshDecorations = 0x0011;    // any of these bits
constexpr UINT kRefreshMeasure = 0x0012;
constexpr UINT kRefreshWrapIfWrapping = 0x0004;
constexpr UINT kRefreshWrapAlways = 0x0008;
constexpr UINT kRefreshCaret = 0x0180;
constexpr UINT kRefreshRecreateCaret = 0x0100;
constexpr UINT kRefreshHorizontalRange = 0x0200;
constexpr UINT kRefreshInvalidate = 0x0020;
constexpr UINT kRefreshUpdateWindow = 0x0040;

// ---- go-to flags (EDM_GOTO) ----
constexpr UINT kGotoLine = 0x01;
constexpr UINT kGotoPosition = 0x02;
constexpr UINT kGotoRelative = 0x10;
constexpr UINT kGotoExtend = 0x20;

// ---- notifications sent to the parent (wParam: the editor's handle) ----
constexpr UINT EDN_STATUSMESSAGE = 0xB000;  // lParam: StatusMessage*
constexpr UINT EDN_PROGRESSBEGIN = 0xB001;  // lParam: caption text
constexpr UINT EDN_PROGRESS = 0xB002;       // wParam done, lParam total
constexpr UINT EDN_PROGRESSEND = 0xB003;
constexpr UINT EDN_MODIFIED = 0xB004;       // lParam: the modified flag
constexpr UINT EDN_OVERWRITE = 0xB005;
constexpr UINT EDN_WORDWRAP = 0xB006;
constexpr UINT EDN_NEWLINES = 0xB007;       // lParam: the type's name
constexpr UINT EDN_ENCODING = 0xB008;       // lParam: the encoding's name
constexpr UINT EDN_BOM = 0xB009;
constexpr UINT EDN_CARET = 0xB00A;          // lParam: CaretRecord*
constexpr UINT EDN_BREAKSNEWLINE = 0xB00B;
constexpr UINT EDN_FAILED = 0xB00F;         // lParam: the message text

// The record of notification 0xB00A: what the status bar shows of the caret
// and the selection. Lines, columns and positions are logical (before word
// wrap) and count from 0.
struct CaretRecord {
  u32 line;             // the caret's hard line
  u32 lineCount;
  u32 column;           // the caret's offset in its hard line
  u32 lineLength;       // the caret's hard line without its newline
  u32 position;
  u32 textLength;
  u32 selectionLines;   // last line minus first line of the selection
  u32 selectionLength;  // in positions
  u32 character;        // at the caret: the byte, or lead byte * 256 + trail byte
};

struct StatusMessage {
  const char *format;
  int number;
  int kind;  // 0, 1 or 2: kept for 0, 2 or 16 updates
};

// ---- WM_COMMAND notification codes (high word) ----
constexpr WORD kEditorFocus = EN_SETFOCUS;        // 0x100
constexpr WORD kEditorBlur = EN_KILLFOCUS;        // 0x200
constexpr WORD kEditorChange = EN_CHANGE;         // 0x300
constexpr WORD kEditorUpdate = EN_UPDATE;         // 0x400
constexpr WORD kEditorMoved = 0x401;              // caret or selection moved
constexpr WORD kEditorOutOfMemory = EN_ERRSPACE;  // 0x500
