// The texts the shell hands to the system (addresses, folders) and the rules
// of the update check, kept apart from Windows so that they are tested
// natively.
//
// Addresses are built into caller buffers; a function that cannot fit its
// whole result returns false and leaves an empty string.
#pragma once

#include <stddef.h>

#include "config/settings.h"
#include "foundation/types.h"

// The longest address a web search opens, in characters (no terminator).
constexpr size_t kSearchUrlMost = 1919;

// "file:///<folder>QuilPad.htm" for the folder of the executable (with its
// trailing backslash): backslashes become forward slashes; '%', '#' and
// spaces are escaped, since a browser would read them as an escape, a
// fragment or the end of the argument.
bool BuildManualUrl(const char *exeFolder, char *out, size_t cap);

// The folder a file lies in, for a working directory: the path with its file
// part cut off, without the last backslash, except that a drive's root keeps
// it ("C:\x.txt" gives "C:\", since "C:" means that drive's current folder).
// False when the path names no folder.
bool FolderOfFile(const char *path, char *out, size_t cap);

// "http://<host>/search?q=" followed by `text` (len bytes, ANSI), with CR, LF
// and tab read as spaces and every character other than the unreserved ones
// (letters, digits, '-', '.', '_', '~') percent-encoded as UTF-8. The address
// is cut before the first character whose escapes would pass kSearchUrlMost
// characters, never inside one. False when the host is empty or the text is.
bool BuildSearchUrl(const char *host, const char *text, size_t len, char *out, size_t cap);

// ---- the update check ----

constexpr u32 kUpdateNewVersion = 200;   // the version key after a newer version was found
constexpr u32 kUpdateWeekUnits = 1408;   // about seven days of `Last` units (2^32 x 100 ns)
constexpr u32 kUpdateFailUnits = 8;      // about an hour per failure in a row
constexpr u32 kUpdateFirstRunBack = 1400;  // the first check becomes due 8 units after the first run

// `Last` time: the high 32 bits of a system time in 100-ns units.
inline u32 UpdateTimeOf(u64 fileTime) { return static_cast<u32>(fileTime >> 32); }

// Whether the periodic check is due: at least Fail x 8 units since `last`
// after failures, else 1408. The difference is unsigned, so that a `last` in
// the future (the clock set back) makes the check due rather than stopping it.
bool UpdateCheckDue(u32 now, u32 last, u32 fail);

// A fresh installation tag: 15 random lower-case letters.
void MakeUpdateHash(char hash[16]);

// What a finished check shows; the settings are changed by ApplyUpdateStatus.
enum UpdateNotice : int {
  kNoticeNone,             // nothing (a silent check that found nothing)
  kNoticeNewVersion,       // the question "New version is available.."
  kNoticeNoUpdate,         // "No update available."
  kNoticeConnectionError,  // "Connection error!"
};

// Records a check's answer in the settings: status 200 a newer version, 404
// none (both reset `Fail`), anything else (0 for no answer at all) a failure
// that adds 1 to `Fail`; `Last` becomes now in every case. Returns what to
// show: the question also when silent, the other two only when not.
UpdateNotice ApplyUpdateStatus(UpdateSettings *u, int status, u32 now, bool silent);

// The periodic check after the start-up document has been opened, with
// `Auto` on. The hooks save the configuration (0 on success), start the
// checking process, and draw a random number.
struct PeriodicHooks {
  int (*save)(void *context);
  void (*spawn)(void *context);
  u32 (*random)(void *context);
  void *context;
};
enum PeriodicOutcome : int {
  kPeriodicNotDue,      // nothing done (a missing hash may have been made)
  kPeriodicSpawned,     // the checking process was started
  kPeriodicFirstRun,    // `Last` set 1400 units back, nothing sent
  kPeriodicSaveFailed,  // a save failed; the process was started one time in 32
};
PeriodicOutcome RunPeriodicCheck(UpdateSettings *u, u32 now, const PeriodicHooks &hooks);
