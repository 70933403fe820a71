// The column page (dialog 271): one column definition, as Columns, Numbers
// shows it on each of its nine tabs and the Sort dialog under each key's
// page. One page window serves all the tabs of its dialog: the dialog keeps
// the definitions and shows the one of the tab chosen.
//
// A definition takes "&Nothing", the "&Entire line" or "C&olumns from" ..
// "to" (cut by the "De&limiting characters", as one phrase or separately,
// runs of them as one, counted from the right), and then, optionally,
// characters from .. to of that part. The numbers are shown and stored as
// the user counts them, from 1. The page greys what the choices make
// meaningless.
//
// The notifications of the page's controls (BN_CLICKED, EN_CHANGE) go on to
// the dialog as WM_COMMAND once the page has set which of its controls are
// enabled, so that the dialog can follow every change.
#pragma once

#include <windows.h>

#include "config/settings.h"

// Creates the page inside `dialog`, placed right above the tab control
// `tabs` in the order of the dialog's controls, over `where` of the dialog's
// client area (filling it, so that the tab's body is the page's colour).
// Null when the window could not be made.
HWND CreateColumnPage(HWND dialog, HWND tabs, const RECT &where);

// Shows a definition in the page's controls. A definition whose column
// numbers are both 0 (never chosen) shows 1 to 1, and likewise the
// positions.
void ShowColumnDef(HWND page, const ColumnDef &def);
// Reads the page's controls into a definition; an empty or unreadable
// number reads as 0.
void ReadColumnDef(HWND page, ColumnDef *def);
// Greys the whole page (a sort key not in use), or gives it back.
void EnableColumnPage(HWND page, bool enabled);

// ---- tab controls of the dialogs ----

// Adds the tabs, in order, to a tab control drawn plain (no visual style,
// as every control of the program); with evenWidth (a control of TCS_FIXEDWIDTH),
// all of them as wide as the control gives each one.
void AddTabs(HWND tabs, const char *const *names, int count, bool evenWidth);
// The part of the dialog's client area inside the tab control where a page
// goes.
RECT TabPageArea(HWND dialog, HWND tabs);
// Puts `page` right above the tab control in the dialog's order of controls
// (after the controls before the tab control, and drawn over it), over
// `where`.
void PlaceOverTabs(HWND page, HWND tabs, const RECT &where);
