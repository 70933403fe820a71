#include "editor/editor_window.h"

const char kEditorClassName[] = "QilEdiA";

// Until the text view arrives the editor is a plain client-edge pane.
bool RegisterEditorClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_IBEAM);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kEditorClassName;
  return RegisterClassA(&wc) != 0;
}
