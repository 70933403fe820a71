// One editor window in the test process: a parent that records every
// notification the editor sends, a fixed-pitch font without anti-aliasing
// (so that widths and colours are exact), settings with distinct colours, and
// rendering of the client area through WM_PRINTCLIENT into a memory bitmap.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/config_state.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"

// One message the parent received from the editor.
struct Notice {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;  // the text that 0xB001, 0xB007, 0xB008, 0xB00F and 0xB000 carry
  CaretRecord caret;   // what 0xB00A carried
  POINT point;       // the point of a WM_NOTIFY
};

// The client area as rendered, one COLORREF (0x00BBGGRR) per pixel.
struct Picture {
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Pixels of the colour inside [left, right) x [top, bottom).
  int Count(int left, int top, int right, int bottom, COLORREF color) const;
  // Whether every pixel of the rectangle has the colour.
  bool All(int left, int top, int right, int bottom, COLORREF color) const;
  // Writes a BMP into the folder named by QP_SHOTS (nothing when unset).
  void Save(const std::string &name) const;
};

// A picture of what `draw` puts into a width x height bitmap (32 bits a pixel).
Picture DrawPicture(int width, int height, const std::function<void(HDC)> &draw);

// Distinct colours for every role, as the tests set them.
namespace colors {
constexpr COLORREF kBack = RGB(255, 255, 255);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kCurrent = RGB(255, 255, 200);
constexpr COLORREF kColorized = RGB(200, 0, 0);
constexpr COLORREF kUrl = RGB(0, 0, 200);
constexpr COLORREF kMarks = RGB(128, 128, 128);
constexpr COLORREF kSelBack = RGB(0, 0, 128);
constexpr COLORREF kSelText = RGB(255, 255, 0);
constexpr COLORREF kGutterBack = RGB(192, 192, 192);
constexpr COLORREF kGutterBorder = RGB(64, 64, 64);
constexpr COLORREF kGutterText = RGB(0, 128, 0);
constexpr COLORREF kWrapLine = RGB(255, 0, 255);
constexpr COLORREF kHiSel = RGB(255, 136, 136);
constexpr COLORREF kHiF1 = RGB(136, 255, 255);
constexpr COLORREF kHiF2 = RGB(136, 255, 136);
}  // namespace colors

class EditorTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Resizes the editor so that its client area is exactly this big.
  void ResizeClient(int width, int height);
  // Replaces the text (EDM_SETTEXT) and forgets the notifications so far.
  void SetText(const std::string &text);
  std::string Text() const;
  // The text length of every row.
  std::vector<u32> RowLengths() const;
  // Selects anchor..caret (EM_SETSEL).
  void Select(u32 anchor, u32 caret);
  // Runs an EDM_REFRESH with these flags.
  void Refresh(UINT flags);
  Picture Render() const;

  // The notifications with this message id.
  std::vector<Notice> Received(UINT message) const;
  // WM_COMMAND notification codes (the high words), in order.
  std::vector<WORD> CommandCodes() const;
  void ClearNotices();

  EditorWindow *ed() const { return EditorOf(editor_); }
  Document *doc() const { return ed()->doc; }
  int w() const { return ed()->averageWidth; }   // one character
  int h() const { return ed()->lineHeight; }     // one row
  // The left edge of a text column and the top of a visible row, in client
  // coordinates (no horizontal scroll).
  int ColumnLeft(int column) const { return ed()->gutterWidth + ed()->leftMargin + column * w(); }
  int RowTop(int row) const { return row * h(); }

  HWND parent_ = nullptr;
  HWND editor_ = nullptr;
  HFONT font_ = nullptr;
  HFONT auxFont_ = nullptr;

 public:
  // Called when the parent receives WM_COMMAND 30050 (Last Tool).
  std::function<LRESULT()> onLastTool_;
};

// Sets the font of the editor and makes it measure it (EDM_SETFONTS).
HFONT MakeTestFont(int height, bool underline = false, bool italic = false);
