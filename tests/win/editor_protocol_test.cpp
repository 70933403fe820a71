// The editor's protocol: its class, the system edit messages it answers from
// the document, its private messages, and the notifications its parent gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "document/range_set.h"
#include "document/text_store.h"
#include "editor/editor_caches.h"
#include "editor/editor_commands.h"
#include "files/encoding.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/safe_writer.h"
#include "foundation/texts.h"
#include "files/save.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/editor_harness.h"

#include <commctrl.h>

namespace {

// The rich-edit numbers of the three messages the editor also answers.
constexpr UINT EM_GETSELTEXT = 0x043E;
constexpr UINT EM_REDO = 0x0454;
constexpr UINT EM_CANREDO = 0x0455;

class ProtocolTest : public EditorTest {
 protected:
  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageA(editor_, msg, wParam, lParam); }
  LRESULT SendText(UINT msg, WPARAM wParam, const char *text) {
    return SendMessageA(editor_, msg, wParam, reinterpret_cast<LPARAM>(text));
  }
  void Type(const std::string &keys) {
    for (char c : keys) Send(WM_CHAR, static_cast<u8>(c), 1);
  }
  std::pair<u32, u32> Sel() {
    DWORD anchor = 0, caret = 0;
    Send(EM_GETSEL, reinterpret_cast<WPARAM>(&anchor), reinterpret_cast<LPARAM>(&caret));
    return {anchor, caret};
  }
  std::string ReadWith(UINT msg) {
    char buffer[256];
    LRESULT n = Send(msg, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, static_cast<size_t>(n));
  }
  std::string Suggest(int fromSelection) {
    char buffer[260];
    MemFill(buffer, '#', sizeof buffer);
    LRESULT n = Send(EDM_SUGGESTFILENAME, reinterpret_cast<WPARAM>(buffer), fromSelection);
    EXPECT_EQ(StrLen(buffer), static_cast<size_t>(n));
    return buffer;
  }
  std::vector<LPARAM> ValuesOf(UINT message) {
    std::vector<LPARAM> out;
    for (const Notice &n : Received(message)) out.push_back(n.lParam);
    return out;
  }
  std::vector<std::string> TextsOf(UINT message) {
    std::vector<std::string> out;
    for (const Notice &n : Received(message)) out.push_back(n.text);
    return out;
  }
};

TEST_F(ProtocolTest, TheClassIsTheEditClassWithoutDoubleClicks) {
  WNDCLASSA edit, ours;
  ASSERT_TRUE(GetClassInfoA(nullptr, "edit", &edit));
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "QilEdiA", &ours));
  EXPECT_EQ(ours.style & CS_DBLCLKS, 0u);
  EXPECT_EQ(ours.style & 0x408Bu, 0u);
  EXPECT_EQ(ours.style, edit.style & ~0x408Bu);
  EXPECT_EQ(ours.cbWndExtra, edit.cbWndExtra);
  EXPECT_NE(ours.lpfnWndProc, edit.lpfnWndProc);
  // The record hangs on the window as "QLPED1".
  EXPECT_EQ(GetPropA(editor_, "QLPED1"), ed());
  // A new editor starts with the stock fixed font until the fonts come.
  HWND fresh = CreateWindowExA(0, "QilEdiA", "", WS_CHILD, 0, 0, 100, 100, parent_, nullptr, nullptr, nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(EditorOf(fresh)->textFont, GetStockObject(SYSTEM_FIXED_FONT));
  EXPECT_EQ(EditorOf(fresh)->auxFont, GetStockObject(SYSTEM_FIXED_FONT));
  DestroyWindow(fresh);
  EXPECT_EQ(Send(WM_GETDLGCODE), 0x8D);
  // Double clicks, should one ever be sent, do nothing.
  SetText("abc def");
  Select(1, 1);
  EXPECT_EQ(Send(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, 5)), 0);
  EXPECT_EQ(Sel(), std::make_pair(1u, 1u));
}

TEST_F(ProtocolTest, TextMessagesReadTheDocumentInTheirNewlineModes) {
  EXPECT_TRUE(Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("a\nb\r\nc\rd")));
  EXPECT_EQ(Text(), "a\nb\r\nc\rd");
  EXPECT_EQ(Send(EM_CANUNDO), 0) << "a new text has nothing to undo";
  // The system messages: CR LF at every newline. The length is an upper
  // bound that never falls short of the text.
  EXPECT_GE(Send(WM_GETTEXTLENGTH), 10);
  EXPECT_LE(Send(WM_GETTEXTLENGTH), 12);
  char buffer[64];
  EXPECT_EQ(Send(WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 10);
  EXPECT_STREQ(buffer, "a\r\nb\r\nc\r\nd");
  // A short buffer: terminated, and a newline is written whole or not at all.
  EXPECT_EQ(Send(WM_GETTEXT, 3, reinterpret_cast<LPARAM>(buffer)), 1);
  EXPECT_STREQ(buffer, "a");
  EXPECT_EQ(ReadWith(EDM_GETTEXT7), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(ReadWith(EDM_GETTEXTRAW), "a\nb\r\nc\rd");
  EXPECT_EQ(Send(EDM_GETTEXTLENGTHRAW), 8);
  // The document's own type: Unix writes LF, Mac CR, Mixed as stored.
  Send(EDM_SETNEWLINES, 1);
  EXPECT_EQ(ReadWith(EDM_GETTEXTDOC), "a\nb\nc\nd");
  Send(EDM_SETNEWLINES, 2);
  EXPECT_EQ(ReadWith(EDM_GETTEXTDOC), "a\rb\rc\rd");
  Send(EDM_SETNEWLINES, 3);
  EXPECT_EQ(ReadWith(EDM_GETTEXTDOC), "a\nb\r\nc\rd");
  // The selection, in the same modes.
  Select(6, 1);
  EXPECT_EQ(ReadWith(EDM_GETSELTEXT7), "\r\nb\r\nc");
  EXPECT_EQ(ReadWith(EDM_GETSELTEXTRAW), "\nb\r\nc");
  EXPECT_EQ(Send(EDM_GETSELLENGTHRAW), 5);
  Send(EDM_SETNEWLINES, 0);
  EXPECT_EQ(Send(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 6);
  EXPECT_STREQ(buffer, "\r\nb\r\nc");
  // A large text handed over in a heap buffer.
  const u32 n = 100000;
  char *big = static_cast<char *>(Allocate(n));
  ASSERT_NE(big, nullptr);
  MemFill(big, 'q', n);
  Send(EDM_SETTEXTMAPPED, reinterpret_cast<WPARAM>(big), n);
  EXPECT_EQ(Send(EDM_GETTEXTLENGTHRAW), static_cast<LRESULT>(n));
  EXPECT_EQ(Sel(), std::make_pair(0u, 0u));
}

TEST_F(ProtocolTest, SelectionMessagesAndTheCrLfMiddle) {
  SetText("ab\r\ncd");
  // EM_SETSEL orders nothing and clamps; an end between CR and LF moves back.
  Select(5, 1);
  EXPECT_EQ(Sel(), std::make_pair(5u, 1u));
  Select(3, 99);
  EXPECT_EQ(Sel(), std::make_pair(2u, 6u));
  Select(static_cast<u32>(-1), 0);
  EXPECT_EQ(Sel(), std::make_pair(6u, 0u));
  EXPECT_TRUE(Received(EDN_BREAKSNEWLINE).empty());
  // EDM_SETSELQUIET keeps it, and the parent is warned.
  Send(EDM_SETSELQUIET, 0, 3);
  EXPECT_EQ(Sel(), std::make_pair(0u, 3u));
  EXPECT_EQ(Received(EDN_BREAKSNEWLINE).size(), 1u);
  // Each move reports the caret facts, then 0x401.
  ClearNotices();
  Select(1, 5);
  std::vector<Notice> caret = Received(EDN_CARET);
  ASSERT_EQ(caret.size(), 1u);
  const CaretRecord &info = caret[0].caret;
  EXPECT_EQ(info.line, 1u);
  EXPECT_EQ(info.lineCount, 2u);
  EXPECT_EQ(info.column, 1u);
  EXPECT_EQ(info.lineLength, 2u);
  EXPECT_EQ(info.position, 5u);
  EXPECT_EQ(info.textLength, 6u);
  EXPECT_EQ(info.selectionLines, 1u);
  EXPECT_EQ(info.selectionLength, 4u);
  EXPECT_EQ(info.character, static_cast<u32>('d'));
  EXPECT_EQ(CommandCodes(), (std::vector<WORD>{0x401}));
  // The caret's line and column, visual and logical, and setting it.
  u32 line = 9, column = 9;
  Send(EDM_GETCARETLOGICAL, reinterpret_cast<WPARAM>(&line), reinterpret_cast<LPARAM>(&column));
  EXPECT_EQ(line, 1u);
  EXPECT_EQ(column, 1u);
  Send(EDM_SETCARETLOGICAL, 0, 1);
  EXPECT_EQ(Sel(), std::make_pair(1u, 1u));
  Send(EDM_GETCARETVISUAL, reinterpret_cast<WPARAM>(&line), reinterpret_cast<LPARAM>(&column));
  EXPECT_EQ(line, 0u);
  EXPECT_EQ(column, 1u);
  // Collapsing goes to the end.
  Select(5, 1);
  Send(EDM_COLLAPSESEL);
  EXPECT_EQ(Sel(), std::make_pair(5u, 5u));
  // The context menu is asked for at the caret, 8 pixels right and down.
  ClearNotices();
  Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor_), MAKELPARAM(-1, -1));
  std::vector<Notice> menu = Received(WM_NOTIFY);
  ASSERT_EQ(menu.size(), 1u);
  EXPECT_EQ(static_cast<int>(menu[0].wParam), NM_RCLICK);
  EXPECT_EQ(menu[0].point.x, ed()->caretX + 8);
  EXPECT_EQ(menu[0].point.y, ed()->caretY + 8);
}

TEST_F(ProtocolTest, GoToLinesAndPositions) {
  SetText("l0\r\nl1\r\nl2\r\nl3\r\nl4");
  auto go = [&](int number, UINT flags) {
    Send(EDM_GOTO, static_cast<WPARAM>(number), flags);
    return Sel();
  };
  EXPECT_EQ(go(2, 0x01), std::make_pair(8u, 8u));
  EXPECT_EQ(go(-1, 0x01), std::make_pair(16u, 16u)) << "the last line";
  EXPECT_EQ(go(-2, 0x11), std::make_pair(8u, 8u)) << "two lines up";
  EXPECT_EQ(go(-10, 0x11), std::make_pair(0u, 0u));
  EXPECT_EQ(go(99, 0x01), std::make_pair(18u, 18u));
  EXPECT_EQ(go(5, 0x02), std::make_pair(5u, 5u));
  EXPECT_EQ(go(-1, 0x02), std::make_pair(18u, 18u)) << "the end";
  EXPECT_EQ(go(-3, 0x12), std::make_pair(15u, 15u));
  EXPECT_EQ(go(-100, 0x02), std::make_pair(0u, 0u));
  EXPECT_EQ(go(4, 0x22), std::make_pair(0u, 4u)) << "extending keeps the anchor";
  EXPECT_EQ(go(1, 0x31), std::make_pair(0u, 8u)) << "one line down from line 1, extending";
}

TEST_F(ProtocolTest, TheTopLineRelativeToTheCaret) {
  std::string text;
  for (int i = 0; i < 60; i++) text += "x\r\n";
  SetText(text);
  Send(EDM_GOTO, 30, 0x01);
  Send(EDM_SETTOPOFFSET, static_cast<WPARAM>(-5));
  EXPECT_EQ(ed()->topLine, 25u);
  EXPECT_EQ(Send(EDM_GETTOPOFFSET), -5);
}

TEST_F(ProtocolTest, NewlineTypesAndTheirNotifications) {
  SetText("x");
  EXPECT_EQ(Send(EDM_SETNEWLINES, 3), 3);
  EXPECT_EQ(Send(EDM_SETNEWLINES, 4), 0);
  EXPECT_EQ(Send(EDM_SETNEWLINES, 5), 1);
  g_settings.file.NoMixNl = 1;
  EXPECT_EQ(Send(EDM_SETNEWLINES, 3), 0);
  EXPECT_EQ(Send(EDM_SETNEWLINES, 2), 2);
  EXPECT_EQ(Send(EDM_GETNEWLINES), 2);
  EXPECT_EQ(TextsOf(EDN_NEWLINES), (std::vector<std::string>{"Mixed", "Win", "Unix", "Win", "Mac"}));
  // Without a file nothing is modified; with one, both flags are.
  EXPECT_EQ(Send(EM_GETMODIFY), 0);
  EXPECT_TRUE(Received(EDN_MODIFIED).empty());
  Send(EDM_SETFILENAME, reinterpret_cast<WPARAM>("C:\\t\\x.txt"), reinterpret_cast<LPARAM>("x.txt"));
  EXPECT_EQ(Send(EDM_HASFILENAME), 1);
  Send(EDM_SETNEWLINES, 1);
  EXPECT_EQ(Send(EM_GETMODIFY), 1);
  EXPECT_EQ(Send(EM_GETMODIFY, 0, 1), 1);
  EXPECT_EQ(ValuesOf(EDN_MODIFIED), (std::vector<LPARAM>{1}));
  char path[261], name[261];
  Send(EDM_GETFILENAME, reinterpret_cast<WPARAM>(path), reinterpret_cast<LPARAM>(name));
  EXPECT_STREQ(path, "C:\\t\\x.txt");
  EXPECT_STREQ(name, "x.txt");
  // Names are cut at 260 characters.
  std::string longName(400, 'n');
  Send(EDM_SETFILENAME, reinterpret_cast<WPARAM>(longName.c_str()), reinterpret_cast<LPARAM>(""));
  Send(EDM_GETFILENAME, reinterpret_cast<WPARAM>(path), reinterpret_cast<LPARAM>(name));
  EXPECT_EQ(StrLen(path), 260u);
  EXPECT_EQ(Send(EDM_HASFILENAME), 1);
}

TEST_F(ProtocolTest, EncodingRequests) {
  (void)BuildCodePageList();
  ASSERT_GT(CodePageCount(), 0u) << "the system lists extra code pages";
  const u32 unlisted = CodePageCount();
  auto set = [&](u32 id, u32 bom, u32 flags, u32 index) {
    return Send(EDM_SETENCODING, id | (bom << 16) | (flags << 24), index);
  };
  // Another code page needs a listed index.
  EXPECT_EQ(set(4, 0, 0, unlisted), 0);
  EXPECT_EQ(Send(EDM_GETCODEPAGE), static_cast<LRESULT>(unlisted));
  EXPECT_EQ(set(4, 0, 0, 1), 4);
  EXPECT_EQ(Send(EDM_GETCODEPAGE), 1);
  EXPECT_EQ(set(5, 0, 0, 1), 0) << "5 modulo 5";
  EXPECT_EQ(set(5, 0, 0, unlisted), 1) << "5 modulo 4";
  // The byte-order mark: 255 by the encoding, otherwise bit 0; in effect only
  // for UTF-8 and the Unicodes.
  set(2, 255, 0, unlisted);
  EXPECT_EQ(Send(EDM_GETBOM), 1);
  EXPECT_EQ(Send(EDM_GETEFFECTIVEBOM), 1);
  set(1, 255, 0, unlisted);
  EXPECT_EQ(Send(EDM_GETBOM), 0);
  set(1, 3, 0, unlisted);
  EXPECT_EQ(Send(EDM_GETEFFECTIVEBOM), 1);
  set(1, 2, 0, unlisted);
  EXPECT_EQ(Send(EDM_GETBOM), 0) << "bit 0 of 2";
  set(0, 1, 0x81, unlisted);
  EXPECT_EQ(Send(EDM_GETBOM), 1);
  EXPECT_EQ(Send(EDM_GETEFFECTIVEBOM), 0);
  EXPECT_EQ(Send(EDM_GETENCODINGFLAG), 0x81);
  // Next encoding: the default mark of the next one; toggling the mark.
  ClearNotices();
  EXPECT_EQ(Send(EDM_NEXTENCODING), 1);
  EXPECT_EQ(Send(EDM_GETBOM), 0);
  EXPECT_EQ(Send(EDM_NEXTENCODING), 2);
  EXPECT_EQ(Send(EDM_GETBOM), 1);
  Send(EDM_TOGGLEBOM);
  EXPECT_EQ(Send(EDM_GETBOM), 0);
  EXPECT_EQ(Send(EDM_GETENCODING), 2);
  EXPECT_EQ(TextsOf(EDN_ENCODING), (std::vector<std::string>{"UTF-8", "Unicode", "Unicode"}));
  EXPECT_EQ(ValuesOf(EDN_BOM), (std::vector<LPARAM>{0, 1, 0}));
  EXPECT_TRUE(Received(EDN_MODIFIED).empty()) << "no file, nothing modified";
  // With a file: modified, both flags, and the parent hears of it.
  Send(EDM_SETFILENAME, reinterpret_cast<WPARAM>("C:\\x.txt"), reinterpret_cast<LPARAM>("x.txt"));
  set(0, 0, 0, unlisted);
  EXPECT_EQ(Send(EM_GETMODIFY), 1);
  EXPECT_EQ(Send(EM_GETMODIFY, 0, 1), 1);
  EXPECT_EQ(ValuesOf(EDN_MODIFIED), (std::vector<LPARAM>{1}));
}

TEST_F(ProtocolTest, TypingOverwriteModeAndControlCharacters) {
  SetText("abc\r\nxyz");
  Select(1, 1);
  Type("12");
  EXPECT_EQ(Text(), "a12bc\r\nxyz");
  // Overwrite replaces the character under the caret, but not the newline.
  EXPECT_EQ(Send(EDM_SETOVERWRITE, 1), 0);
  EXPECT_EQ(Send(EDM_GETOVERWRITE), 1);
  Type("XYZ");
  EXPECT_EQ(Text(), "a12XYZ\r\nxyz");
  Type("!");
  EXPECT_EQ(Text(), "a12XYZ!\r\nxyz") << "at the end of the line typing inserts";
  // NoOver keeps overwrite mode off.
  g_settings.edit.NoOver = 1;
  Send(EDM_SETOVERWRITE, 1);
  EXPECT_EQ(Send(EDM_GETOVERWRITE), 0);
  EXPECT_EQ(ValuesOf(EDN_OVERWRITE).back(), 0);
  // A repeat count types the character that many times.
  Send(WM_CHAR, '-', 3);
  EXPECT_EQ(Text(), "a12XYZ!---\r\nxyz");
  // Control characters are refused unless allowed; tab always goes in.
  Type("\x02");
  EXPECT_EQ(Text(), "a12XYZ!---\r\nxyz");
  Type("\t");
  g_settings.edit.InsCtrl = 1;
  Type("\x02");
  EXPECT_EQ(Text(), "a12XYZ!---\t\x02\r\nxyz");
  // The edit told the parent: changed, updated.
  std::vector<WORD> codes = CommandCodes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), 0x300), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), 0x400), codes.end());
}

TEST_F(ProtocolTest, SetModifyMarksTheSavedStateThatUndoReturnsTo) {
  SetText("");
  Type("abc");
  EXPECT_EQ(Send(EM_GETMODIFY), 1);
  ClearNotices();
  EXPECT_EQ(Send(EM_SETMODIFY, 0, 0), 0);
  EXPECT_EQ(Send(EM_GETMODIFY), 0);
  EXPECT_EQ(ValuesOf(EDN_MODIFIED), (std::vector<LPARAM>{0}));
  // Typing on is a change of its own: undoing it is back at the saved state.
  Type("d");
  EXPECT_EQ(Send(EM_GETMODIFY), 1);
  ClearNotices();
  Send(WM_UNDO);
  EXPECT_EQ(Text(), "abc");
  EXPECT_EQ(Send(EM_GETMODIFY), 0);
  EXPECT_EQ(ValuesOf(EDN_MODIFIED).back(), 0);
  // And redo leaves it again.
  Send(EM_REDO);
  EXPECT_EQ(Text(), "abcd");
  EXPECT_EQ(Send(EM_GETMODIFY), 1);
  EXPECT_EQ(Send(EM_CANREDO), 0);
  EXPECT_EQ(Send(EM_CANUNDO), 1);
  // The second flag is separate.
  EXPECT_EQ(Send(EM_SETMODIFY, 0, 1), 0);
  EXPECT_EQ(Send(EM_GETMODIFY, 0, 1), 0);
  EXPECT_EQ(Send(EM_GETMODIFY), 1);
  EXPECT_EQ(Send(EM_SETMODIFY, 1, 1), 1);
  EXPECT_EQ(Send(EM_GETMODIFY, 0, 1), 1);
  // EM_UNDO toggles one level.
  Send(EM_UNDO);
  EXPECT_EQ(Text(), "abc");
  Send(EM_UNDO);
  EXPECT_EQ(Text(), "abcd");
}

TEST_F(ProtocolTest, JournalMessages) {
  SetText("");
  // A group: every edit in it is one undo.
  Send(EDM_JOURNALSET, 1, 0);
  EXPECT_EQ(Send(EDM_JOURNALSTATE), 1);
  SendText(EDM_REPLACESEL, 2, "ab");
  SendText(EM_REPLACESEL, 0, "cd");
  Send(EDM_JOURNALSET, 0, 0);
  EXPECT_EQ(Send(EDM_JOURNALSTATE), 0);
  SendText(EM_REPLACESEL, 0, "ef");
  Send(WM_UNDO);
  EXPECT_EQ(Text(), "abcd");
  Send(WM_UNDO);
  EXPECT_EQ(Text(), "");
  Send(EM_REDO);
  EXPECT_EQ(Text(), "abcd");
  // A break ends the step that typing would extend.
  Select(4, 4);
  Type("x");
  Send(EDM_JOURNALBREAK);
  Type("y");
  Send(WM_UNDO);
  EXPECT_EQ(Text(), "abcdx");
  // Trimming keeps only the newest step and empties the redo journal.
  Send(EM_REDO);
  Type("z");
  Send(WM_UNDO);
  ASSERT_EQ(Send(EM_CANREDO), 1);
  Send(EDM_JOURNALTRIM);
  EXPECT_EQ(Send(EM_CANREDO), 0);
  Send(WM_UNDO);
  EXPECT_EQ(Send(EM_CANUNDO), 0);
  EXPECT_EQ(Text(), "abcdx");
  Send(EDM_JOURNALCLEAR);
  EXPECT_EQ(Send(EM_CANUNDO), 0);
  // What is there to re-insert.
  EXPECT_EQ(Send(EDM_CANREINSERTDELETED), 0);
  EXPECT_EQ(Send(EDM_CANREINSERTINSERTED), 0);
  Type("q");
  EXPECT_EQ(Send(EDM_CANREINSERTINSERTED), 1);
  EXPECT_EQ(Send(EDM_CANREINSERTDELETED), 0);
  Select(0, 2);
  Send(WM_CLEAR);
  EXPECT_EQ(Text(), "cdxq");
  EXPECT_EQ(Send(EDM_CANREINSERTDELETED), 1);
  // WM_CLEAR was one step.
  Send(WM_UNDO);
  EXPECT_EQ(Text(), "abcdxq");
}

TEST_F(ProtocolTest, HighlightRanges) {
  SetText("0123456789");
  const RangeSet *one = &doc()->store.rangeSets[kSetPrimaryMatches];
  const RangeSet *two = &doc()->store.rangeSets[kSetSecondaryMatches];
  Send(EDM_SETHIGHLIGHT1, 4, 4);
  EXPECT_EQ(RangeCount(one), 0u) << "an empty range marks nothing";
  Send(EDM_SETHIGHLIGHT1, 7, 3);
  ASSERT_EQ(RangeCount(one), 1u);
  const Range *r = RangeAt(one, 0);
  EXPECT_EQ(RangeAbsStart(one, r), 3u);
  EXPECT_EQ(r->length, 4u);
  Send(EDM_SETHIGHLIGHT2, 0, 1);
  EXPECT_EQ(RangeCount(two), 1u);
  Send(EDM_CLEARHIGHLIGHT1);
  EXPECT_EQ(RangeCount(one), 0u);
  EXPECT_EQ(RangeCount(two), 1u);
  Send(EDM_CLEARHIGHLIGHT2);
  EXPECT_EQ(RangeCount(two), 0u);
}

TEST_F(ProtocolTest, NoCommandRunsWhileALastToolRequestIsServed) {
  SetText("");
  std::string text;
  for (int i = 0; i < 60; i++) text += "line\r\n";
  SendText(EM_REPLACESEL, 0, text.c_str());
  ASSERT_EQ(Send(EM_CANUNDO), 1);
  Select(0, 0);
  int nestingSeen = -1;
  onLastTool_ = [&]() -> LRESULT {
    nestingSeen = ed()->toolNesting;
    // Undo would run outside; here its id is a scroll code and does nothing.
    Send(WM_COMMAND, 21113);
    // A real scroll code scrolls.
    Send(WM_COMMAND, SB_LINEDOWN);
    return 0;
  };
  EXPECT_EQ(Send(EDM_RUNLASTTOOL, 4, reinterpret_cast<LPARAM>("tool text")), 1);
  EXPECT_EQ(nestingSeen, 1);
  EXPECT_EQ(ed()->toolNesting, 0);
  EXPECT_EQ(ed()->toolFlags, 0x40000u);
  EXPECT_EQ(ed()->topLine, 1u);
  EXPECT_EQ(Text().size(), text.size()) << "nothing was undone";
  // The parent answering non-zero gives 0.
  onLastTool_ = [] { return LRESULT(2); };
  EXPECT_EQ(Send(EDM_RUNLASTTOOL, 0, 0), 0);
  // Outside the request the command runs.
  onLastTool_ = nullptr;
  EXPECT_EQ(Send(WM_COMMAND, 21113), 0);
  EXPECT_EQ(Text(), "");
}

TEST_F(ProtocolTest, TheCommandTableAndItsAnswers) {
  SetText("some text");
  EXPECT_EQ(Send(WM_COMMAND, 21115), 1) << "nothing to redo";
  EXPECT_EQ(Send(WM_COMMAND, 12345), 2) << "no editor command";
  EXPECT_EQ(Send(WM_COMMAND, 21114), 2) << "a gap in a range";
  EXPECT_EQ(Send(WM_COMMAND, 30050), 1) << "no tool has run yet";
  EXPECT_EQ(Send(WM_COMMAND, 21453), 0);
  EXPECT_EQ(Sel(), std::make_pair(0u, 9u));
  // Insert File Name: the display name, Untitled without a file.
  Select(9, 9);
  EXPECT_EQ(Send(WM_COMMAND, 21321), 0);
  EXPECT_EQ(Text(), "some textUntitled");
  Send(EDM_SETFILENAME, reinterpret_cast<WPARAM>("C:\\d\\n.txt"), reinterpret_cast<LPARAM>("n.txt"));
  EXPECT_EQ(Send(WM_COMMAND, 21322), 0);
  EXPECT_EQ(Text(), "some textUntitledC:\\d\\n.txt");
  // Undo, redo and the single-level toggle, as commands.
  EXPECT_EQ(Send(WM_COMMAND, 21113), 0);
  EXPECT_EQ(Text(), "some textUntitled");
  EXPECT_EQ(Send(WM_COMMAND, 21115), 0);
  EXPECT_EQ(Send(WM_COMMAND, 21117), 0);
  EXPECT_EQ(Text(), "some textUntitled");
  EXPECT_EQ(Send(WM_COMMAND, 21117), 0);
  EXPECT_EQ(Text(), "some textUntitledC:\\d\\n.txt");
  // NoMUndo makes Undo the toggle too.
  g_settings.edit.NoMUndo = 1;
  EXPECT_EQ(Send(WM_COMMAND, 21113), 0);
  EXPECT_EQ(Send(WM_COMMAND, 21113), 0);
  EXPECT_EQ(Text(), "some textUntitledC:\\d\\n.txt");
  // Re-inserting what was deleted.
  g_settings.edit.NoMUndo = 0;
  Select(0, 5);
  Send(WM_CLEAR);
  Select(0, 0);
  EXPECT_EQ(Send(WM_COMMAND, 21313), 0);
  EXPECT_EQ(Text().substr(0, 9), "some text");
  // Failures: out of memory is the 0x500 notification after a beep, any other
  // message goes to the parent as 0xB00F.
  ClearNotices();
  EXPECT_EQ(FinishEditorCommand(ed(), -1), 3);
  EXPECT_EQ(CommandCodes(), (std::vector<WORD>{0x500}));
  EXPECT_EQ(FinishEditorCommand(ed(), TextId(TXT_OUT_OF_MEMORY)), 3);
  EXPECT_EQ(CommandCodes(), (std::vector<WORD>{0x500, 0x500}));
  EXPECT_EQ(FinishEditorCommand(ed(), TextId(TXT_CANNOT_READ)), 3);
  EXPECT_EQ(TextsOf(EDN_FAILED), (std::vector<std::string>{"Could not read file %s!"}));
  EXPECT_EQ(FinishEditorCommand(ed(), 48), 3);
  EXPECT_EQ(TextsOf(EDN_FAILED).size(), 1u) << "a quiet failure says nothing";
}

TEST_F(ProtocolTest, FileNameSuggestions) {
  SetText("");
  EXPECT_EQ(Suggest(0), "");
  SetText("  \t \r\n  My: file/name?*<>|\"\\x\x7f\x01\xE9 \t \r\nnext");
  EXPECT_EQ(Suggest(0), "My- file-name-------x-\xE9");
  // From the selection: its start, up to its end.
  Select(static_cast<u32>(Text().find("next")), static_cast<u32>(Text().find("next")) + 3);
  EXPECT_EQ(Suggest(1), "nex");
  // An empty selection runs to the end of the text; at the end nothing.
  Select(static_cast<u32>(Text().size()), static_cast<u32>(Text().size()));
  EXPECT_EQ(Suggest(1), "");
  Select(static_cast<u32>(Text().find("file")), static_cast<u32>(Text().find("file")));
  EXPECT_EQ(Suggest(1), "file-name-------x-\xE9");
  // At most 259 characters.
  SetText(std::string(300, 'a'));
  EXPECT_EQ(Suggest(0), std::string(259, 'a'));
}

TEST_F(ProtocolTest, SelectionIsUrlOnlyForOneWholeUrl) {
  SetText("go to http://example.com/a now");
  // The URL, a part of it, more than it, and nothing.
  for (auto [from, to, answer] : {std::tuple{6u, 26u, 1}, {6u, 20u, 0}, {5u, 26u, 0}, {6u, 6u, 0}}) {
    Select(from, to);
    EXPECT_EQ(Send(EDM_SELISURL), answer) << from << "-" << to;
  }
}

TEST_F(ProtocolTest, RefreshFlagsDoTheirSteps) {
  SetText("see http://example.com/x now");
  UpdateWindow(editor_);
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(editor_, &dirty, FALSE));
  // 0x0020 invalidates everything, 0x0040 paints at once.
  Refresh(0x0020);
  EXPECT_TRUE(GetUpdateRect(editor_, &dirty, FALSE));
  Refresh(0x0040);
  EXPECT_FALSE(GetUpdateRect(editor_, &dirty, FALSE));
  // 0x0010 (and 0x0001) recompute the decoration units.
  g_settings.opts.PrnLens = 1;
  Refresh(0x0002);
  EXPECT_EQ(ed()->decorationUnits, 0);
  Refresh(0x0010);
  EXPECT_EQ(ed()->decorationUnits, 5);
  // 0x0400 drops the highlighter's occurrences always and the links only
  // while URL detection is off.
  g_settings.opts.Urls = 1;
  g_settings.opts.HiliSel = 1;
  Select(24, 27);
  CheckSelectionHighlighter(ed());
  Render();
  const RangeSet *links = &doc()->store.rangeSets[kSetLinks];
  const RangeSet *occurrences = &doc()->store.rangeSets[kSetOccurrences];
  ASSERT_EQ(RangeCount(links), 1u);
  ASSERT_EQ(RangeCount(occurrences), 1u);
  Refresh(0x0400);
  EXPECT_EQ(RangeCount(links), 1u);
  EXPECT_EQ(RangeCount(occurrences), 0u);
  g_settings.opts.Urls = 0;
  Refresh(0x0400);
  EXPECT_EQ(RangeCount(links), 0u);
}

TEST_F(ProtocolTest, PaintingSaysWhatItDoesWhileTheMessageFieldIsFree) {
  SetText("see http://example.com/x now");
  g_settings.opts.Urls = 1;
  auto free = [](HWND) { return true; };
  g_statusFieldFree = free;
  ClearNotices();
  Render();
  g_statusFieldFree = nullptr;
  EXPECT_EQ(TextsOf(EDN_STATUSMESSAGE), (std::vector<std::string>{"URL cache..", "Painting.."}));
  EXPECT_EQ(Received(EDN_PROGRESSEND).size(), 1u) << "the message is taken away after the paint";
  // A busy field gets nothing.
  ClearNotices();
  Render();
  EXPECT_TRUE(Received(EDN_STATUSMESSAGE).empty());
}

TEST_F(ProtocolTest, MiscellaneousAnswers) {
  EXPECT_EQ(Send(EDM_GETCHARWIDTH), w() + 1);
  SetText("abc");
  DocumentStatistics stats = {};
  Send(EDM_GETMEMINFO, 0, reinterpret_cast<LPARAM>(&stats));
  EXPECT_EQ(stats.length, 3u);
  EXPECT_EQ(stats.rows, 1u);
  // Word wrap and its notification.
  ClearNotices();
  Send(EDM_SETWORDWRAP, 1);
  EXPECT_EQ(Send(EDM_GETWORDWRAP), 1);
  EXPECT_EQ(ValuesOf(EDN_WORDWRAP), (std::vector<LPARAM>{1}));
}

// EDM_RUNBLOCKS: the selection (or the whole text) in pieces of at most
// 64 KiB, in order, until the operation says stop.
TEST_F(ProtocolTest, RunBlocksGivesTheSelectionInPieces) {
  std::string text;
  for (int i = 0; text.size() < 200000; i++) text += "line " + std::to_string(i) + "\r\n";
  SetText(text);
  struct Seen {
    std::string bytes;
    std::vector<u32> offsets;
    int stopAfter = 0;
  } seen;
  BlockRun run = {[](void *c, const char *p, u32 n, u32 offset) {
                    Seen *s = static_cast<Seen *>(c);
                    EXPECT_LE(n, kRunBlockBytes);
                    EXPECT_EQ(offset, s->bytes.size());
                    s->bytes.append(p, n);
                    s->offsets.push_back(offset);
                    return static_cast<int>(s->offsets.size()) == s->stopAfter ? 5 : 0;
                  },
                  &seen};
  Select(100, 150000);
  EXPECT_EQ(Send(EDM_RUNBLOCKS, reinterpret_cast<WPARAM>(&run), 0), 0);
  EXPECT_TRUE(seen.bytes == text.substr(100, 149900));
  EXPECT_EQ(seen.offsets.size(), 3u);
  seen = Seen{};
  seen.stopAfter = 2;
  EXPECT_EQ(Send(EDM_RUNBLOCKS, reinterpret_cast<WPARAM>(&run), 0), 5) << "stopped by the operation";
  EXPECT_EQ(seen.offsets.size(), 2u);
  seen = Seen{};
  Select(3, 3);
  EXPECT_EQ(Send(EDM_RUNBLOCKS, reinterpret_cast<WPARAM>(&run), kRunBlocksCollapse), 0);
  EXPECT_TRUE(seen.bytes == text) << "nothing selected: the whole text";
  EXPECT_EQ(Sel(), std::make_pair(3u, 3u));
}

// EDM_WRITETEXT: the text or the selection with the document's newlines
// through the encoder, into a file or only converted (the question about
// characters without an equivalent is asked then too).
TEST_F(ProtocolTest, WriteTextConvertsAndWrites) {
  SetText("a\nb\r\n\xe9");
  Send(EDM_SETNEWLINES, 0, 0);  // Win: every newline CR LF
  TempFolder folder;
  auto write = [&](u32 flags, u32 encoding, u32 codePage) {
    SafeWriter w;
    EXPECT_EQ(SafeWriterOpen(&w, folder.File("out.txt").c_str(), 0, false), 0);
    WriteTextRequest request = {flags, encoding, codePage};
    const LRESULT r = Send(EDM_WRITETEXT, reinterpret_cast<WPARAM>(&w), reinterpret_cast<LPARAM>(&request));
    EXPECT_EQ(SafeWriterCommit(&w, false), 0);
    return std::make_pair(r, ReadBytes(folder.File("out.txt")));
  };
  EXPECT_EQ(write(0, kDocumentEncoding, 0), std::make_pair(LRESULT{0}, std::string("a\r\nb\r\n\xe9")));
  EXPECT_EQ(write(0, kEncodingUtf8, 0), std::make_pair(LRESULT{0}, std::string("a\r\nb\r\n\xc3\xa9")));
  EXPECT_EQ(write(0, kEncodingUnicode, 0).second, std::string("a\0\r\0\n\0b\0\r\0\n\0\xe9\0", 14));
  Select(0, 3);
  EXPECT_EQ(write(kSaveSelection, kDocumentEncoding, 0).second, "a\r\nb");
  // Only converted: to a code page without the character, the question; No
  // refuses.
  if (CodePageCount() == 0) (void)BuildCodePageList();
  u32 ascii = 0;
  while (ascii < CodePageCount() && CodePageNumber(ascii) != 20127) ascii++;
  ASSERT_LT(ascii, CodePageCount()) << "US-ASCII installed";
  ScriptedAnswerer answers;
  answers.Expect(::Text(TXT_UNTRANSLATABLE), kAskYesNo, kAnswerNo);
  WriteTextRequest request = {0, kEncodingCodePage, ascii};
  EXPECT_EQ(Send(EDM_WRITETEXT, 0, reinterpret_cast<LPARAM>(&request)), TextId(TXT_CANNOT_SAVE));
  request.flags = kSaveNoQuestion;
  EXPECT_EQ(Send(EDM_WRITETEXT, 0, reinterpret_cast<LPARAM>(&request)), 0);
}

}  // namespace
