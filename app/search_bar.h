// The search bar (dialog 130): a modeless child dialog along the bottom of
// the main window, above the status bar, that edits the primary or the
// secondary search record and sends search requests with its buttons and
// keys (accelerator table 32).
#pragma once

#include <windows.h>

#include "config/settings.h"

// Mode bits of OpenSearchBar.
constexpr int kBarReplaceRow = 1;
constexpr int kBarToolRow = 2;
constexpr int kBarSecondary = 4;

// Opens the bar in a mode (or re-initialises the open bar with it) and
// gives it the focus. 0, or 513 when it cannot be made.
int OpenSearchBar(int mode);
// Closes the bar: both searches' highlights go, the editor gets the focus.
void CloseSearchBar();
// The bar's height in pixels (0 while closed), for the frame's layout.
int SearchBarHeight();
// Adds a record's pattern (and replace text) with its options to the search
// history.
void AddToSearchHistory(const SearchBarSettings &record, bool withReplace);
// The record of a search changed outside the bar (Find Selected): the open
// bar that edits it shows it again.
void ReloadSearchBar(int which);
// A new document: a highlight waiting to be tried again is dropped.
void StopHighlightRetry();
// Shows a total or a message on the bar's note line (when it is open).
void SetSearchBarNote(const char *text);
// Whether a search started from the bar ended with a message (auto-hide).
void NoteSearchOutcome(bool withMessage, bool noMoreMatches);
