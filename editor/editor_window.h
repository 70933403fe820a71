// The editor window class ("QilEdiA"): the child of the main window that shows
// and edits the document.
#pragma once

#include <windows.h>

extern const char kEditorClassName[];

// Registers the class; false on failure.
bool RegisterEditorClass(HINSTANCE instance);
