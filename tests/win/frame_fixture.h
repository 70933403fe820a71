// The main window made in this process, for tests that drive it by its
// commands: made fresh for each test, destroyed after it, with the settings
// back at their defaults and no Last Tool.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

#include "app/app_state.h"
#include "app/main_window.h"
#include "config/config_state.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "tests/win/gui_helpers.h"

class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
    SetLastTool(nullptr);
    ASSERT_EQ(CreateMainWindow(), 0);
    PumpMessages();
    editor_ = g_app.editorWindow;
    ASSERT_NE(editor_, nullptr);
  }
  void TearDown() override {
    DestroyFrame();
    SetDefaultSettings(&g_settings, true);
    SetLastTool(nullptr);
  }

  static LRESULT Command(int id) { return SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  void SetText(const std::string &text) const {
    SendMessageA(editor_, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  }
  std::string Text() const {
    std::string t(static_cast<size_t>(SendMessageA(editor_, EDM_GETTEXTLENGTHRAW, 0, 0)), '\0');
    SendMessageA(editor_, EDM_GETTEXTRAW, t.size() + 1, reinterpret_cast<LPARAM>(&t[0]));
    return t;
  }
  void Select(DWORD anchor, DWORD caret) const { SendMessageA(editor_, EM_SETSEL, anchor, caret); }
  std::pair<DWORD, DWORD> Selection() const {
    DWORD a = 0, b = 0;
    SendMessageA(editor_, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return {a, b};
  }

  HWND editor_ = nullptr;
};
