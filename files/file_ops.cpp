#include "files/file_ops.h"

static bool g_busy;

bool FileOperationBusy() { return g_busy; }

FileOperation::FileOperation() : taken_(!g_busy) {
  if (taken_) g_busy = true;
}

void (*g_afterFileOperation)();

FileOperation::~FileOperation() {
  if (!taken_) return;
  g_busy = false;
  if (g_afterFileOperation) g_afterFileOperation();
}

void FileOperation::Suspend() {
  if (taken_) g_busy = false;
}

void FileOperation::Resume() {
  if (taken_) g_busy = true;
}

void ShowPhase(const FileHooks &hooks, int textSlot) {
  if (hooks.phase) hooks.phase(hooks.context, textSlot);
}
