// The simple tool dialogs: Enclose (200), XML/HTML Tag (210), Translate
// (220), Quote (240) and Close (250). Each is a table of up to two edit boxes (control,
// length limit, buffer) and up to four check boxes (control, flag), plus an
// optional handler for other buttons. OK stores every field into its buffer
// or flag; Cancel changes nothing. Ctrl+Tab in an edit box inserts a tab
// character into it (a plain Tab moves the focus, as in any dialog).
#pragma once

#include <windows.h>

#include "foundation/types.h"

struct ToolDialogEdit {
  int control;  // 0: none
  u32 limit;    // characters; the buffer holds limit + 1 bytes
  char *buffer;
};

struct ToolDialogCheck {
  int control;  // 0: none
  i32 *flag;
};

struct SimpleToolDialog {
  int dialog;  // the resource
  ToolDialogEdit edits[2];
  ToolDialogCheck checks[4];
  // Any other button: true when handled (the dialog stays open unless the
  // handler ends it). May be null.
  bool (*onButton)(HWND dialog, int control, void *context);
  void *context;
};

// Shows the dialog over `owner` with the fields as the table holds them.
// 0 when OK stored them, 32 when cancelled (nothing changed).
int RunSimpleToolDialog(HWND owner, const SimpleToolDialog &table);

// Lets an edit box of a tool dialog take Ctrl+Tab as a tab character.
void AcceptCtrlTab(HWND edit);
// Places a dialog over its owner: centred across, a third of the way down.
void CenterDialogOverOwner(HWND dialog);

// The dialog of a tool command, for the editor (SetToolDialogHook): Quote
// stores into QtText, QtEmpty and QtSpace, Close into ClText, ClEmpty and
// ClSpace, Enclose into EnBefor and EnAfter, Tag into XmlName, XmlAttr and
// XmlEmpt (shown empty unless TXMLAtr and TXMLEmp keep them), Translate into
// TrFind, TrRepl, TrEsc and TrDel; Find Duplicates (280) into UniJob, UniIC,
// UniEmpt and UniDup; Grep (330) into GrFind .. GrAfter (negative context
// as 0) and the line-number base; Extended Replace (300) into RepPatt,
// RepRepl, RepCase, RepWrds, RepRgEx and RepMim. Sort and Columns, Numbers
// have dialogs of their own (sort_dialog.h, columns_dialog.h), as have
// Compare and Statistics (compare_dialogs.h), which are the whole command.
// 0 to run the tool, 32 cancelled (also
// for an id without a dialog here).
int RunToolDialog(HWND owner, int id);
