#include "tests/win/editor_harness.h"

#include <cstdio>
#include <cstdlib>

#include "document/text_store.h"
#include "foundation/bytes.h"

namespace {

const char kParentClass[] = "QpEditorTestParent";
EditorTest *g_current;
std::vector<Notice> g_notices;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND || msg == WM_NOTIFY || (msg >= EDN_STATUSMESSAGE && msg <= EDN_FAILED)) {
    Notice n = {};
    n.message = msg;
    n.wParam = wParam;
    n.lParam = lParam;
    switch (msg) {
      case EDN_PROGRESSBEGIN:
      case EDN_NEWLINES:
      case EDN_ENCODING:
      case EDN_FAILED:
        if (lParam) n.text = reinterpret_cast<const char *>(lParam);
        break;
      case EDN_STATUSMESSAGE:
        if (lParam) n.text = reinterpret_cast<const StatusMessage *>(lParam)->format;
        break;
      case EDN_CARET:
        if (lParam) n.caret = *reinterpret_cast<const CaretRecord *>(lParam);
        break;
      case WM_NOTIFY: {
        struct Note {
          NMHDR header;
          POINT point;
        };
        const Note *note = reinterpret_cast<const Note *>(lParam);
        n.wParam = static_cast<WPARAM>(static_cast<int>(note->header.code));
        n.point = note->point;
        break;
      }
      default:
        break;
    }
    g_notices.push_back(n);
    if (msg == WM_COMMAND && LOWORD(wParam) == 30050 && g_current && g_current->onLastTool_) {
      // Through a copy: the handler may be replaced while it runs.
      auto handler = g_current->onLastTool_;
      return handler();
    }
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

HFONT MakeTestFont(int height, bool underline, bool italic) {
  return CreateFontA(-height, 0, 0, 0, FW_NORMAL, italic, underline, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
}

int Picture::Count(int left, int top, int right, int bottom, COLORREF color) const {
  int n = 0;
  for (int y = top < 0 ? 0 : top; y < bottom && y < height; y++)
    for (int x = left < 0 ? 0 : left; x < right && x < width; x++) n += At(x, y) == color;
  return n;
}

bool Picture::All(int left, int top, int right, int bottom, COLORREF color) const {
  return Count(left, top, right, bottom, color) == (right - left) * (bottom - top);
}

void Picture::Save(const std::string &name) const {
  const char *dir = getenv("QP_SHOTS");
  if (!dir || !*dir) return;
  std::string path = std::string(dir) + "\\" + name + ".bmp";
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return;
  BITMAPFILEHEADER fh = {};
  BITMAPINFOHEADER ih = {};
  ih.biSize = sizeof ih;
  ih.biWidth = width;
  ih.biHeight = -height;
  ih.biPlanes = 1;
  ih.biBitCount = 32;
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(width * height * 4);
  fwrite(&fh, sizeof fh, 1, f);
  fwrite(&ih, sizeof ih, 1, f);
  for (COLORREF c : pixels) {
    unsigned char bgra[4] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
    fwrite(bgra, 4, 1, f);
  }
  fclose(f);
}

void EditorTest::SetUp() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  static bool registered = [&] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kParentClass;
    return RegisterClassA(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  // Another test may have unregistered it to see creation fail.
  WNDCLASSA existing;
  if (!GetClassInfoA(instance, kEditorClassName, &existing)) {
    ASSERT_TRUE(RegisterEditorClass(instance));
  }

  SettingsBlock &g = g_settings;
  SetDefaultSettings(&g, true);
  g.opts.LnNums = g.opts.TxtClrz = g.opts.Urls = g.opts.HiliSel = 0;
  g.edit.CurrLn = 0;
  g.edit.LMargin = 0;
  g.edit.Tab = 8;
  g.edit.CLTBack = colors::kBack;
  g.edit.CLTText = colors::kText;
  g.edit.CLTCurr = colors::kCurrent;
  g.edit.CLTClrz = colors::kColorized;
  g.edit.CLTUrl = colors::kUrl;
  g.edit.CLTSpc = colors::kMarks;
  g.edit.CLSBack = colors::kSelBack;
  g.edit.CLSText = colors::kSelText;
  g.edit.CLGBack = colors::kGutterBack;
  g.edit.CLGBord = colors::kGutterBorder;
  g.edit.CLGText = colors::kGutterText;
  g.edit.CLRWrap = colors::kWrapLine;
  g.edit.CLHiSel = colors::kHiSel;
  g.edit.CLHiF1 = colors::kHiF1;
  g.edit.CLHiF2 = colors::kHiF2;

  g_notices.clear();
  g_current = this;
  parent_ = CreateWindowExA(0, kParentClass, "editor test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 900, 700,
                            nullptr, nullptr, instance, nullptr);
  ASSERT_NE(parent_, nullptr);
  editor_ = CreateWindowExA(0, kEditorClassName, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 600, 400,
                            parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1020)), instance, nullptr);
  ASSERT_NE(editor_, nullptr);
  font_ = MakeTestFont(16);
  auxFont_ = MakeTestFont(16, true);
  SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font_), reinterpret_cast<LPARAM>(auxFont_));
  // The font is the fixed-pitch one the tests count with.
  ASSERT_GT(w(), 2);
  ASSERT_EQ(ed()->glyphWidth['W'], w());
  ASSERT_EQ(ed()->glyphWidth['i'], w());
  ASSERT_EQ(ed()->glyphWidth[' '], w());
  ResizeClient(600, 20 * h());
  g_notices.clear();
}

void EditorTest::TearDown() {
  if (parent_) DestroyWindow(parent_);
  parent_ = editor_ = nullptr;
  if (font_) DeleteObject(font_);
  if (auxFont_) DeleteObject(auxFont_);
  g_current = nullptr;
  SetDefaultSettings(&g_settings, true);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void EditorTest::ResizeClient(int width, int height) {
  // Twice: the size decides which scroll bars show, and they take room.
  for (int i = 0; i < 3; i++) {
    RECT window, client;
    GetWindowRect(editor_, &window);
    GetClientRect(editor_, &client);
    int dx = (window.right - window.left) - client.right, dy = (window.bottom - window.top) - client.bottom;
    SetWindowPos(editor_, nullptr, 0, 0, width + dx, height + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void EditorTest::SetText(const std::string &text) {
  SendMessageA(editor_, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  g_notices.clear();
}

std::string EditorTest::Text() const {
  LRESULT n = SendMessageA(editor_, EDM_GETTEXTLENGTHRAW, 0, 0);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  LRESULT got = SendMessageA(editor_, EDM_GETTEXTRAW, s.size(), reinterpret_cast<LPARAM>(&s[0]));
  s.resize(static_cast<size_t>(got));
  return s;
}

std::vector<u32> EditorTest::RowLengths() const {
  std::vector<u32> out;
  const TextStore *s = &doc()->store;
  for (u32 r = 0; r < RowCount(s); r++) out.push_back(RowAt(s, r).textLength);
  return out;
}

void EditorTest::Select(u32 anchor, u32 caret) { SendMessageA(editor_, EM_SETSEL, anchor, caret); }

void EditorTest::Refresh(UINT flags) { SendMessageA(editor_, EDM_REFRESH, flags, 0); }

Picture DrawPicture(int width, int height, const std::function<void(HDC)> &draw) {
  Picture p;
  p.width = width;
  p.height = height;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  draw(dc);
  GdiFlush();
  const u32 *px = static_cast<const u32 *>(bits);
  p.pixels.resize(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < p.pixels.size(); i++) {
    u32 v = px[i];
    p.pixels[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return p;
}

Picture EditorTest::Render() const {
  RECT rc;
  GetClientRect(editor_, &rc);
  return DrawPicture(rc.right, rc.bottom, [&](HDC dc) {
    // A colour no role has, so that an unpainted pixel shows.
    RECT all = {0, 0, rc.right, rc.bottom};
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(dc, &all, probe);
    DeleteObject(probe);
    SendMessageA(editor_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  });
}

std::vector<Notice> EditorTest::Received(UINT message) const {
  std::vector<Notice> out;
  for (const Notice &n : g_notices)
    if (n.message == message) out.push_back(n);
  return out;
}

std::vector<WORD> EditorTest::CommandCodes() const {
  std::vector<WORD> out;
  for (const Notice &n : g_notices)
    if (n.message == WM_COMMAND && reinterpret_cast<HWND>(n.lParam) == editor_) out.push_back(HIWORD(n.wParam));
  return out;
}

void EditorTest::ClearNotices() { g_notices.clear(); }
