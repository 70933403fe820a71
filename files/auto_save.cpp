#include "files/auto_save.h"

#include "config/config_state.h"
#include "document/undo.h"
#include "files/backup.h"
#include "files/save.h"
#include "foundation/bytes.h"
#include "foundation/platform.h"

namespace {

constexpr u32 kNameLimit = 260;  // the longest path the system opens

// "<folder><proposal>.<code>.$" in the temporary folder, the code in base 36
// from the time; created exclusively, so that two windows never share one
// (a taken name steps the code).
bool ClaimUntitledName(const char *proposal, char *out) {
  u32 code = static_cast<u32>(PlatSystemTimeAsFileTime()) >> 16;
  for (int attempt = 0; attempt < 64; attempt++, code++) {
    char base[kPathChars + 16];
    size_t n = StrLen(proposal);
    if (n > kPathChars) n = kPathChars;
    MemCopy(base, proposal, n);
    base[n++] = '.';
    char digits[8];
    int k = 0;
    u32 v = code;
    do {
      const u32 d = v % 36;
      digits[k++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
      v /= 36;
    } while (v);
    while (k) base[n++] = digits[--k];
    base[n] = 0;
    if (!TempCopyName(g_settings.file.TmpPath, base, ".$", out, kNameLimit + 1)) return false;
    PlatFile f = PlatFileOpen(out, kPlatOpenCreateNew);
    if (f) {
      PlatFileClose(f);
      return true;
    }
    if (!PlatFileExists(out)) return false;  // not taken: the folder refuses
  }
  return false;
}

}  // namespace

bool RecoveryNameFor(const char *path, char *out) {
  if (!path[0]) return false;
  if (g_settings.file.ASTemp) return TempCopyName(g_settings.file.TmpPath, path, ".$", out, kNameLimit + 1);
  const size_t n = StrLen(path);
  if (n + 2 > kNameLimit) return false;
  StrCopy(out, path);
  StrCopy(out + n, ".$");
  return true;
}

u32 AutoSavePeriod() {
  i32 seconds = g_settings.file.ASTime;
  if (seconds < 1) seconds = 1;
  if (seconds > 131072) seconds = 131072;
  return static_cast<u32>(seconds) * 1000u;
}

int AutoSaveNow(Document *doc, RecoveryFile *recovery, const FileHooks &hooks, const AutoSaveView &view) {
  const FileSettings &f = g_settings.file;
  if (FileOperationBusy() || !f.AS || !doc->modifiedSinceAutoSave) return 0;
  const bool untitled = doc->filePath[0] == 0;
  if (untitled && !f.ASNoNm) return 0;
  FileOperation busy;
  if (view.modificationField) view.modificationField(view.context, true);
  int r;
  if (!untitled && f.ASOrig) {
    // Over the file itself: a save without a backup, the watch kept away.
    if (hooks.stopWatch) hooks.stopWatch(hooks.context);
    r = SaveFile(doc, doc->filePath, kDocumentEncoding, 0, kSaveNoBackup, hooks);
    if (r == 0 || r == kResultStatusWarning) {
      MarkSaved(doc);
      doc->modified = 0;
      DeleteRecoveryFile(recovery);
      if (hooks.titleChanged) hooks.titleChanged(hooks.context);
    }
    if (hooks.startWatch) hooks.startWatch(hooks.context, doc->filePath);
  } else {
    r = 48;
    if (!recovery->path[0]) {
      if (untitled) {
        char proposal[kPathChars] = "";
        if (!hooks.proposeName || !hooks.proposeName(hooks.context, proposal) || !proposal[0])
          StrCopyN(proposal, Text(TXT_UNTITLED), kPathChars);
        if (!ClaimUntitledName(proposal, recovery->path)) recovery->path[0] = 0;
      } else if (!RecoveryNameFor(doc->filePath, recovery->path)) {
        recovery->path[0] = 0;
      }
    }
    const u32 flags = kSaveNoBackup | kSaveNoQuestion | kSaveNoFlush | (untitled || f.ASTemp ? 0u : u32{kSaveRecovery});
    if (recovery->path[0]) r = SaveFile(doc, recovery->path, kDocumentEncoding, 0, flags, hooks);
  }
  ShowPhase(hooks, -1);
  int shown;
  if (r == 0 || r == kResultStatusWarning) {
    doc->modifiedSinceAutoSave = 0;
    shown = r == 0 ? TextId(TXT_AUTO_SAVED) : TextId(TXT_NO_BOM_WARNING);
  } else {
    if (view.modificationField) view.modificationField(view.context, false);
    shown = TextId(TXT_AUTO_SAVE_ERROR);
  }
  if (view.message) view.message(view.context, TextSlotOfId(static_cast<u16>(shown)));
  return shown;
}

void DeleteRecoveryFile(RecoveryFile *recovery) {
  if (!recovery->path[0]) return;
  (void)PlatSetAttributes(recovery->path, kAttrNormal);
  (void)PlatFileDelete(recovery->path);
  recovery->path[0] = 0;
}
