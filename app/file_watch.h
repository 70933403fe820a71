// Watching the open file for changes by other programs, and the command
// (13153) through which such a change reaches the main window.
//
// A watch is a thread with a record of its own: a copy of the path and its
// folder, the window to tell, a stop flag and the count of its two owners,
// the window and the thread. Stopping a watch sets the flag and lets go of
// the record; the thread sees the flag within 256 ms and lets go of it too,
// and whichever comes last frees it. Nobody ever waits for a watch thread:
// a new watch starts at once while an old one winds down, and a thread
// reads nothing that the window may change under it.
//
// The thread tells the window of a new last-write time; the window reads the
// time again itself before asking, and asks nothing when the time is that of
// its own last load or save (its own save racing the thread), or the one it
// asked about already (several notifications of one change).
#pragma once

#include <windows.h>

// Starts watching `path` for the main window, after stopping the current
// watch; nothing more when `Watch` is off, the path is empty or the thread
// cannot be made. While the document matches its file (after a load or a
// save), the file's last-write time is taken as this window's own.
void StartWatching(const char *path);
// Stops the current watch without waiting for its thread.
void StopWatching();
// The file's current last-write time is this window's own (after a Revert,
// which keeps its watch).
void NoteOwnFileTime(const char *path);

// Command 13153: the file changed on disk. Reverts (flags 256 + 512: string
// 521 asked, or silently with `ARevert`) unless the request is stale: no
// watch any more, the file unreadable just now, or a last-write time this
// window made or asked about. One question at a time; requests arriving
// meanwhile are merged into one more look afterwards.
int CommandFileChanged();

// For tests: whether a watch is on, and how many watch threads (of any
// window of this process) have not ended yet.
bool Watching();
long WatchThreadsRunning();
