// The tool table: which tool a command id runs (31010-39030), with its
// function, parameter and flags. Rows are added as tools are built; the menu
// enables exactly the ids the table knows.
#pragma once

#include "tools/tool_runner.h"

enum ToolTableFlag : u32 {
  kToolRowDialog = 1,       // the menu opens the tool's dialog first (its OK runs the tool)
  kToolRowKeepsSelection = 2,  // Indent, Quote, Close
  // The dialog is the whole command (Compare, Statistics): the frame runs no
  // tool after it and it never becomes the Last Tool. A dialog that counts
  // runs the row's descriptor itself, read-only.
  kToolRowDialogOnly = 4,
};

struct ToolRow {
  int id;
  u32 rowFlags;
  // Fills the descriptor (cleared to zero first by the caller) for a run.
  void (*fill)(ToolDescriptor *tool);
};

// The row of a command id, or null when no tool of that id is built.
const ToolRow *FindToolRow(int id);
// Clears and fills the descriptor for the command; false when no tool has
// that id.
bool DescribeTool(int id, ToolDescriptor *tool);
