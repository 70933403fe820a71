// The clipboard operation behind Cut, Copy, Paste, Swap and the Appends, the
// system messages WM_CUT, WM_COPY and WM_PASTE, and the mouse's auto-copy
// and paste.
//
// The text goes out twice: as CF_TEXT (CR LF newlines, a zero byte as a
// space) for other programs, and in the private format "QLP_A64" with its
// exact length (files/clip_block.h), so that zero bytes and mixed newlines
// come back unchanged between windows of the program. A paste takes the
// private block when the clipboard holds a valid one, else the plain text.
#pragma once

#include "editor/editor_window.h"

// Operation flags.
constexpr u32 kClipPasteFlag = 1u << 16;  // passed on to the paste edit (select what was pasted)
constexpr u32 kClipCopy = 1u << 24;       // copy the selection
constexpr u32 kClipDelete = 1u << 25;     // delete the selection afterwards
constexpr u32 kClipPaste = 1u << 26;      // paste (the clipboard as it was before this operation)
constexpr u32 kClipAppend = 1u << 27;     // append to what the clipboard holds

// 1 on success; 0 on failure, after a beep and the out-of-memory notification
// (0x500) to the parent, once: a failed paste edit has notified already.
// With the copy flag and an empty selection, CASel selects a unit first (as
// Select Word, Line, Paragraph or All do); when there is none, nothing is
// copied. The document is unchanged by a failure, but for edits completed.
int ClipboardOperation(EditorWindow *ed, u32 flags);
// The operation flags of commands 21212-21218 (0: none).
u32 ClipboardFlagsOfCommand(int id);

// Alt+1..9: the selection, taken as Copy takes it (CASel when there is
// none), into clip n (0..8) with its bytes as stored; nothing when empty.
// Ctrl+1..9: clip n in place of the selection as Paste puts it, one undo
// step; an empty clip inserts nothing. Result codes; a failure leaves the
// clip and the document as they were.
int StoreClip(EditorWindow *ed, int n);
int InsertClip(EditorWindow *ed, int n);

// The private format, registered on first use (0 when that failed).
UINT PrivateClipboardFormat();
// Whether the clipboard holds text the program can paste.
bool ClipboardHoldsText();

// The clipboard and global memory functions the operation calls: the
// system's, unless a test replaces some to make them fail.
struct ClipboardApi {
  UINT(WINAPI *registerFormat)(LPCSTR name);
  BOOL(WINAPI *open)(HWND owner);
  BOOL(WINAPI *close)();
  BOOL(WINAPI *empty)();
  HANDLE(WINAPI *get)(UINT format);
  HANDLE(WINAPI *set)(UINT format, HANDLE block);
  HGLOBAL(WINAPI *alloc)(UINT flags, SIZE_T bytes);
  LPVOID(WINAPI *lock)(HGLOBAL block);
  BOOL(WINAPI *unlock)(HGLOBAL block);
  HGLOBAL(WINAPI *free)(HGLOBAL block);
  SIZE_T(WINAPI *size)(HGLOBAL block);
};
extern ClipboardApi g_clipboardApi;
extern const ClipboardApi kSystemClipboardApi;
