// The persisted lists: recent files, favourites, search history, filters and
// clips. Every change marks its list dirty, so that the next save writes it.
#pragma once

#include "config/config_state.h"

// The time stamp of the lists: the system time in units of 2^23 x 100 ns
// (about 0.84 s), counted from 0x7E000000 such units.
u32 ConfigTimeStamp();

// Recent files and search history are ordered by time stamp, oldest in slot
// 0. Adding finds the slot holding the same text (case-insensitive), else
// takes slot 0; when that slot is newer than `time` nothing changes;
// otherwise the following slots that are not newer move down by one and the
// text goes into the slot that became free.
void AddRecentFile(SettingsBlock *s, const char *path, u32 time);
void ClearRecentFiles(SettingsBlock *s);
void AddFindHistory(SettingsBlock *s, const FindEntry &entry);
void AddReplaceHistory(SettingsBlock *s, const ReplaceEntry &entry);

// An empty path fails; a path already present (case-insensitive) succeeds
// without change; otherwise the first free slot takes it. Full: fails.
// "-" and "--" are separators of the menu: each one takes a slot of its own.
bool AddFavourite(SettingsBlock *s, const char *path);
bool IsFavouriteSeparator(const char *path);
// A filter equal to one present (all fields, case-insensitive) succeeds
// without change; otherwise the first free slot takes it. Full: fails.
bool AddFilter(SettingsBlock *s, const FilterRecord &filter);
bool FilterPresent(const SettingsBlock *s, const FilterRecord &filter);
int FreeFilterSlots(const SettingsBlock *s);

// Clip n (0..8). An empty text does nothing; otherwise the old text is
// replaced by a copy, marked changed and not yet accepted as long. False
// when the copy cannot be allocated: then the old text stays, unmarked.
bool SetClip(int n, const char *text, u32 length);
// The same with a text the clip takes over: `length` bytes and a zero byte
// after them, from Allocate (freed here when the text is empty).
void TakeClip(int n, char *text, u32 length);
// Clip n's block handed over (the clip left empty) when it holds `bytes`
// and is less than twice as large, for a new text to be read into; else null
// and the clip stays.
char *ReclaimClipBlock(int n, size_t bytes);
void ClearAllClips();
void FreeClips();

// Case-insensitive equality of two texts in the ANSI code page.
bool TextsEqualNoCase(const char *a, const char *b);
