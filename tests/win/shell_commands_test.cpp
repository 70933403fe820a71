// The shell commands through the recorder that stands in for the system's
// shell (what would be started, with which verb, parameters and folder), the
// failures shown with the system's message, and the update check against
// this test's own loopback HTTP server: its answers, what the request
// carries, hostile servers cut off by the deadline while the window stays
// responsive, and the periodic check's start of the checking process.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/shell_commands.h"
#include "app/update_check.h"
#include "config/config_state.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

struct Launch {
  std::string verb, file, parameters, directory;
  ULONG mask;
  bool editorPainted = false;  // nothing of the editor waited to be painted
};

// Records every job instead of starting it; fails with `error` when set.
class ShellRecorder {
 public:
  ShellRecorder() : hook_{Run, this} { previous_ = InstallShellHook(&hook_); }
  ~ShellRecorder() { InstallShellHook(previous_); }
  std::vector<Launch> launches;
  DWORD error = 0;

 private:
  static bool Run(void *context, const ShellRequest &r) {
    auto *self = static_cast<ShellRecorder *>(context);
    auto text = [](const char *s) { return std::string(s ? s : "(null)"); };
    self->launches.push_back({text(r.verb), text(r.file), text(r.parameters), text(r.directory), r.mask,
                              g_app.editorWindow && !GetUpdateRect(g_app.editorWindow, nullptr, FALSE)});
    if (self->error) SetLastError(self->error);
    return self->error == 0;
  }
  ShellHook hook_;
  const ShellHook *previous_;
};

std::string SystemText(DWORD code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = 0;
  return std::string(text, n);
}

class ShellCommands : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
    SetShellHosts("", "");
    SetUpdateTimeouts(1500, 2000);
  }
  void TearDown() override {
    DestroyFrame();
    SetShellHosts("", "");
    SetUpdateTimeouts(0, 0);
    SetUpdateClock(nullptr);
    SetDefaultSettings(&g_settings, true);
  }
  void Create() {
    ASSERT_EQ(CreateMainWindow(), 0);
    PumpMessages();
    ASSERT_NE(g_app.editorWindow, nullptr);
  }
  LRESULT Command(int id) {
    const LRESULT r = SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
    PumpMessages();
    return r;
  }
  bool Enabled(int id) {
    if (id == IDM_EDIT_WEB_SEARCH) return WebSearchPossible();  // on the context menu
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(g_app.mainWindow)), 0);
    return !(GetMenuState(GetMenu(g_app.mainWindow), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
  }
  static std::string ExeFolder() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string s = exe;
    return s.substr(0, s.rfind('\\') + 1);
  }
};

TEST_F(ShellCommands, EachCommandStartsItsJobForAFileInAFolderWithEscapeCharacters) {
  TempFolder tmp;
  const std::string folder = tmp.path() + "a %41 #b c";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string path = folder + "\\x y.txt";
  ASSERT_TRUE(WriteBytes(path, "one\r\ntwo\r\n"));
  SetShellHosts("maker.test", "find.test");
  Create();
  ASSERT_EQ(CommandOpenPath(path.c_str()), 0);
  // The manual's address: forward slashes, and '%', '#', spaces escaped.
  std::string url = "file:///";
  for (char c : ExeFolder()) url += c == '\\' ? "/" : c == '%' ? "%25" : c == '#' ? "%23" : c == ' ' ? "%20" : std::string(1, c);
  struct Case {
    int id;
    Launch launch;
  } const kCases[] = {
      {IDM_FILE_CONTAINING_FOLDER, {"(null)", "explorer.exe", "/select,\"" + path + "\"", "(null)", 0}},
      {IDM_FILE_COMMAND_LINE, {"(null)", "cmd.exe", "(null)", folder, 0}},
      {IDM_FILE_PROPERTIES, {"properties", path, "(null)", "(null)", SEE_MASK_INVOKEIDLIST}},
      {IDM_HELP_MANUAL, {"(null)", url + "QuilPad.htm", "(null)", "(null)", 0}},
      {IDM_HELP_ONLINE_MANUAL, {"(null)", "http://maker.test/quillpad/manual/", "(null)", "(null)", 0}},
      {IDM_HELP_HOMEPAGE, {"(null)", "http://maker.test/quillpad/", "(null)", "(null)", 0}},
  };
  for (const Case &c : kCases) {
    ShellRecorder recorder;
    EXPECT_TRUE(Enabled(c.id)) << c.id;
    EXPECT_EQ(Command(c.id), 0) << c.id;
    ASSERT_EQ(recorder.launches.size(), 1u) << c.id;
    const Launch &got = recorder.launches[0];
    EXPECT_EQ(got.verb, c.launch.verb) << c.id;
    EXPECT_EQ(got.file, c.launch.file) << c.id;
    EXPECT_EQ(got.parameters, c.launch.parameters) << c.id;
    EXPECT_EQ(got.directory, c.launch.directory) << c.id;
    EXPECT_EQ(got.mask, c.launch.mask) << c.id;
  }
  // F1 is the manual, through the frame's accelerator table.
  ShellRecorder recorder;
  HACCEL table = LoadAcceleratorsA(g_app.instance, MAKEINTRESOURCEA(IDR_ACCEL_MAIN));
  MSG key = {g_app.editorWindow, WM_KEYDOWN, VK_F1, 0, 0, {0, 0}};
  ASSERT_TRUE(TranslateAcceleratorA(g_app.mainWindow, table, &key));
  PumpMessages();
  ASSERT_EQ(recorder.launches.size(), 1u);
  EXPECT_EQ(recorder.launches[0].file, url + "QuilPad.htm");
  DestroyAcceleratorTable(table);
}

TEST_F(ShellCommands, CommandLineOfAFileInADriveRootKeepsTheRoot) {
  Create();
  ShellRecorder recorder;
  // The document's name alone decides the folder: no file is read.
  strcpy(AppDocument()->filePath, "C:\\x.txt");
  EXPECT_EQ(Command(IDM_FILE_COMMAND_LINE), 0);
  ASSERT_EQ(recorder.launches.size(), 1u);
  EXPECT_EQ(recorder.launches[0].directory, "C:\\");
}

TEST_F(ShellCommands, NothingToActOnStartsNothingAndAsksNothing) {
  // /d with a shell command and no file: run once the document is open.
  g_app.options.command = IDM_FILE_CONTAINING_FOLDER;
  ShellRecorder recorder;
  ScriptedAnswerer answers;  // any question fails
  Create();
  PumpMessages();
  for (int id : {IDM_FILE_CONTAINING_FOLDER, IDM_FILE_COMMAND_LINE, IDM_FILE_PROPERTIES, IDM_EDIT_WEB_SEARCH,
                 IDM_HELP_ONLINE_MANUAL, IDM_HELP_HOMEPAGE}) {
    EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Command(id), 1) << id;  // 32: nothing to do
  }
  // Text selected, but no search engine in this build.
  SendMessageA(g_app.editorWindow, WM_CHAR, 'a', 1);
  SendMessageA(g_app.editorWindow, EM_SETSEL, 0, 1);
  EXPECT_FALSE(Enabled(IDM_EDIT_WEB_SEARCH));
  EXPECT_EQ(Command(IDM_EDIT_WEB_SEARCH), 1);
  EXPECT_TRUE(recorder.launches.empty());
}

TEST_F(ShellCommands, WebSearchEncodesTheSelectionAsOneQueryArgument) {
  SetShellHosts(nullptr, "find.test");
  Create();
  for (const char *c = "x a\" --x \"b\r\n\xE9&#%"; *c; c++)
    SendMessageA(g_app.editorWindow, WM_CHAR, static_cast<u8>(*c), 1);
  ShellRecorder recorder;
  EXPECT_FALSE(Enabled(IDM_EDIT_WEB_SEARCH));  // nothing selected
  SendMessageA(g_app.editorWindow, EM_SETSEL, 2, 100);
  EXPECT_TRUE(Enabled(IDM_EDIT_WEB_SEARCH));
  EXPECT_EQ(Command(IDM_EDIT_WEB_SEARCH), 0);
  ASSERT_EQ(recorder.launches.size(), 1u);
  EXPECT_EQ(recorder.launches[0].file, "http://find.test/search?q=a%22%20--x%20%22b%20%20%C3%A9%26%23%25");
  EXPECT_EQ(recorder.launches[0].parameters, "(null)");
  // The item is on the editor's context menu.
  HMENU menu = LoadMenuA(g_app.instance, MAKEINTRESOURCEA(IDR_CONTEXT_MENU));
  EXPECT_NE(GetMenuState(GetSubMenu(menu, 0), IDM_EDIT_WEB_SEARCH, MF_BYCOMMAND), static_cast<UINT>(-1));
  DestroyMenu(menu);
}

TEST_F(ShellCommands, FailuresShowTheSystemsMessageAndATruncatedProgramPathIsAnError) {
  TempFolder tmp;
  const std::string path = tmp.File("f.txt");
  ASSERT_TRUE(WriteBytes(path, "x"));
  Create();
  ASSERT_EQ(CommandOpenPath(path.c_str()), 0);
  for (DWORD error : {static_cast<DWORD>(ERROR_FILE_NOT_FOUND), static_cast<DWORD>(ERROR_ACCESS_DENIED),
                      static_cast<DWORD>(ERROR_NO_ASSOCIATION)}) {
    ShellRecorder recorder;
    recorder.error = error;
    ScriptedAnswerer answers;
    answers.Expect(SystemText(error), kAskWarning, IDOK);
    EXPECT_EQ(Command(IDM_FILE_PROPERTIES), 3) << error;  // failed, reported
    EXPECT_EQ(recorder.launches.size(), 1u);
  }
  char small[8];
  EXPECT_FALSE(ProgramPath(small, sizeof small));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_STREQ(small, "");
  char whole[MAX_PATH];
  ASSERT_TRUE(ProgramPath(whole, sizeof whole));
  EXPECT_EQ(std::string(whole).substr(0, ExeFolder().size()), ExeFolder());
}

// ---- the update check ----

// An HTTP server on the loopback interface that answers every connection
// the same way and records what it was sent.
class LoopServer {
 public:
  enum Mode { kReply, kSilence, kDrip };
  LoopServer(Mode mode, std::string reply) : mode_(mode), reply_(std::move(reply)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(listener_, 8);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopServer() {
    stop_ = true;
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() {
    std::vector<std::string> copy;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      copy = requests_;
    }
    return copy;
  }

 private:
  void Serve() {
    for (;;) {
      SOCKET s = accept(listener_, nullptr, nullptr);
      if (s == INVALID_SOCKET) return;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      if (mode_ == kReply) {
        send(s, reply_.data(), static_cast<int>(reply_.size()), 0);
      } else {
        // Silence, or a byte now and then, until the test ends.
        for (size_t i = 0; !stop_; i++) {
          if (mode_ == kDrip && i < reply_.size()) send(s, reply_.data() + i, 1, 0);
          Sleep(200);
        }
      }
      shutdown(s, SD_SEND);
      closesocket(s);
    }
  }
  Mode mode_;
  std::string reply_;
  SOCKET listener_;
  u16 port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

const char kReal200[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nSet-Cookie: id=42\r\nConnection: close\r\n\r\n";
const char kReal404[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

u32 g_testNow = 0x01D00000;
u32 TestClock() { return g_testNow; }

TEST_F(ShellCommands, UpdateCheckRecordsEachAnswerAndShowsOnlyWhatItShould) {
  const std::string newVersion = Text(TXT_NEW_VERSION), none = Text(TXT_NO_UPDATE),
                    failed = Text(TXT_CONNECTION_ERROR);
  struct Case {
    const char *name, *reply;
    bool silent;
    std::string question;
    u32 fail, version;
  } const kCases[] = {
      {"200 menu", kReal200, false, newVersion, 0, 200},
      {"200 silent", kReal200, true, newVersion, 0, 200},
      {"404 menu", kReal404, false, none, 0, 0},
      {"404 silent", kReal404, true, "", 0, 0},
      {"500 menu", "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", false, failed, 4, 7},
      {"500 silent", "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true, "", 4, 7},
      {"not HTTP", "hello there\r\n\r\n", false, failed, 4, 7},
      {"header only", "HTTP/1.1 200 OK\r\n\r\n", false, failed, 4, 7},
      {"redirect", "", false, failed, 4, 7},
      // A redirect to the address asked for: round and round.
      {"redirect loop",
       "HTTP/1.1 302 Found\r\nLocation: /quillpad/updates/6.4.1.beta?u=up\r\nContent-Length: 0\r\n"
       "Connection: close\r\n\r\n",
       false, failed, 4, 7},
  };
  SetUpdateClock(TestClock);
  Create();
  for (const Case &c : kCases) {
    // The redirect goes to another path of the same server.
    const std::string reply = c.reply;
    LoopServer loop(LoopServer::kReply, reply.empty() ? std::string("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n"
                                                                    "Content-Length: 0\r\nConnection: close\r\n\r\n")
                                                      : reply);
    SetShellHosts(loop.host().c_str(), nullptr);
    g_settings.lists.update.Fail = 3;
    g_settings.lists.update.Version = 7;
    g_settings.lists.update.Last = 5;
    ShellRecorder recorder;
    ScriptedAnswerer answers;
    if (!c.question.empty())
      answers.Expect(c.question, c.question == newVersion ? kAskYesNoCancel : c.question == none ? kAskInfo : kAskWarning,
                     c.question == newVersion ? IDYES : IDOK);
    const DWORD start = GetTickCount();
    EXPECT_EQ(CheckForUpdate(g_app.mainWindow, c.silent, "up"), 0) << c.name;
    EXPECT_LT(GetTickCount() - start, 2000u) << c.name;  // each ends before the deadline
    EXPECT_EQ(g_settings.lists.update.Fail, c.fail) << c.name;
    EXPECT_EQ(g_settings.lists.update.Version, c.version) << c.name;
    EXPECT_EQ(g_settings.lists.update.Last, g_testNow) << c.name;
    const std::vector<std::string> requests = loop.requests();
    ASSERT_GE(requests.size(), 1u) << c.name;
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "HEAD /quillpad/updates/6.4.1.beta?u=up HTTP/1.1")
        << c.name;
    // Yes to the new version: the download page, the same path tagged "down".
    if (c.question == newVersion) {
      ASSERT_EQ(recorder.launches.size(), 1u) << c.name;
      EXPECT_EQ(recorder.launches[0].file, "http://" + loop.host() + "/quillpad/updates/6.4.1.beta?u=down");
    } else {
      EXPECT_TRUE(recorder.launches.empty()) << c.name;
    }
  }
}

TEST_F(ShellCommands, UpdateRequestCarriesOnlyPathTagAgentAndNoCache) {
  LoopServer loop(LoopServer::kReply, kReal200);
  SetShellHosts(loop.host().c_str(), nullptr);
  EXPECT_EQ(RequestUpdateStatus("abcdefghijklmno"), 200);
  EXPECT_EQ(RequestUpdateStatus("abcdefghijklmno"), 200);  // after a Set-Cookie
  const std::vector<std::string> requests = loop.requests();
  ASSERT_EQ(requests.size(), 2u);
  const char *kAllowed[] = {"Host", "User-Agent", "Pragma", "Cache-Control", "Connection", "Accept", "Content-Length"};
  for (const std::string &r : requests) {
    EXPECT_EQ(r.substr(0, r.find("\r\n")), "HEAD /quillpad/updates/6.4.1.beta?u=abcdefghijklmno HTTP/1.1");
    EXPECT_NE(r.find("\r\nUser-Agent: Quillpad Version 6.4.1.beta, NonUNICODE, 32-bit\r\n"), std::string::npos) << r;
    EXPECT_NE(r.find("\r\nPragma: no-cache\r\n"), std::string::npos) << r;
    size_t at = r.find("\r\n") + 2;
    while (at < r.size() && r.compare(at, 2, "\r\n") != 0) {
      const size_t end = r.find("\r\n", at);
      const std::string name = r.substr(at, r.find(':', at) - at);
      bool allowed = false;
      for (const char *a : kAllowed) allowed = allowed || name == a;
      EXPECT_TRUE(allowed) << "header field " << name << " left the machine";
      at = end + 2;
    }
  }
  // Without a maker host nothing is sent at all.
  SetShellHosts("", nullptr);
  EXPECT_EQ(RequestUpdateStatus("x"), 0);
  EXPECT_EQ(loop.requests().size(), 2u);
}

DWORD g_typedAt, g_postedAt;

// A key typed while the check waits: it reaches the editor at once.
void CALLBACK TypeKey(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_postedAt = GetTickCount();
  SendMessageA(g_app.editorWindow, WM_CHAR, 'k', 1);
  g_typedAt = GetTickCount();
}

TEST_F(ShellCommands, HostileServersEndByTheDeadlineWhileTheWindowKeepsTyping) {
  Create();
  struct Case {
    const char *name;
    LoopServer::Mode mode;
    const char *reply;
  } const kCases[] = {
      {"silence", LoopServer::kSilence, ""},
      {"drip", LoopServer::kDrip, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
  };
  for (const Case &c : kCases) {
    LoopServer loop(c.mode, c.reply);
    SetShellHosts(loop.host().c_str(), nullptr);
    SendMessageA(g_app.editorWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    g_settings.lists.update.Fail = 0;
    ScriptedAnswerer answers;
    answers.Expect(Text(TXT_CONNECTION_ERROR), kAskWarning, IDOK);
    g_typedAt = 0;
    SetTimer(nullptr, 0, 50, TypeKey);
    const DWORD start = GetTickCount();
    EXPECT_EQ(CheckForUpdate(g_app.mainWindow, false, "up"), 0) << c.name;
    const DWORD spent = GetTickCount() - start;
    EXPECT_LT(spent, 4000u) << c.name;  // the deadline is 2 s here
    ASSERT_NE(g_typedAt, 0u) << c.name << ": the key waited for the check";
    EXPECT_LT(g_postedAt - start, 150u) << c.name;
    EXPECT_EQ(WindowText(g_app.editorWindow), "k") << c.name;
    EXPECT_EQ(g_settings.lists.update.Fail, 1u) << c.name;
  }
  // Refused: nobody listens on the port any more.
  std::string gone;
  {
    LoopServer closed(LoopServer::kReply, "");
    gone = closed.host();
  }
  SetShellHosts(gone.c_str(), nullptr);
  ScriptedAnswerer answers;
  answers.Expect(Text(TXT_CONNECTION_ERROR), kAskWarning, IDOK);
  const DWORD start = GetTickCount();
  EXPECT_EQ(CheckForUpdate(g_app.mainWindow, false, "up"), 0);
  EXPECT_LT(GetTickCount() - start, 4000u);
  EXPECT_EQ(g_settings.lists.update.Fail, 2u);
}

// A reply with a header of 32 MB is judged by its status line alone, at
// once. (Wine's library takes time that grows faster than the size to read
// such a header: 0.4 s for 25 MB, 4.3 s for 100 MB, about 12 s for 200 MB.)
TEST_F(ShellCommands, AHugeHeaderIsJudgedByItsStatusLine) {
  SetUpdateTimeouts(10000, 15000);
  SetUpdateClock(TestClock);
  Create();
  const std::string none = Text(TXT_NO_UPDATE), newVersion = Text(TXT_NEW_VERSION);
  for (const char *status : {"404 Not Found", "200 OK"}) {
    std::string reply = std::string("HTTP/1.1 ") + status + "\r\nContent-Length: 0\r\nX-Pad: ";
    reply.append(32u << 20, 'p');
    reply += "\r\nConnection: close\r\n\r\n";
    LoopServer loop(LoopServer::kReply, std::move(reply));
    SetShellHosts(loop.host().c_str(), nullptr);
    g_settings.lists.update.Fail = 3;
    g_settings.lists.update.Version = 7;
    const bool found = status[0] == '2';
    ScriptedAnswerer answers;
    answers.Expect(found ? newVersion : none, found ? kAskYesNoCancel : kAskInfo, found ? IDNO : IDOK);
    const DWORD start = GetTickCount();
    EXPECT_EQ(CheckForUpdate(g_app.mainWindow, false, "up"), 0) << status;
    EXPECT_LT(GetTickCount() - start, 5000u) << status;
    EXPECT_EQ(g_settings.lists.update.Fail, 0u) << status;
    EXPECT_EQ(g_settings.lists.update.Version, found ? 200u : 0u) << status;
  }
}

TEST_F(ShellCommands, PeriodicCheckStartsTheCheckerWithTheConfigurationFileOnlyWhenDue) {
  SetUpdateClock(TestClock);
  strcpy(g_app.options.configFile, "C:\\some where\\q.ini");
  Create();
  char exe[MAX_PATH];
  ASSERT_TRUE(ProgramPath(exe, sizeof exe));
  ShellRecorder recorder;
  // No maker host: the periodic check does not run at all.
  RunPeriodicUpdateCheck(g_app.mainWindow);
  EXPECT_STREQ(g_settings.lists.update.Hash, "");
  SetShellHosts("maker.test", nullptr);
  // First run: a hash, Last 1400 back, nothing started.
  RunPeriodicUpdateCheck(g_app.mainWindow);
  EXPECT_EQ(strlen(g_settings.lists.update.Hash), 15u);
  EXPECT_EQ(g_settings.lists.update.Last, g_testNow - 1400);
  EXPECT_TRUE(recorder.launches.empty());
  // Eight units later: the checker, on the same configuration file, once the
  // window has been painted.
  const u32 first = g_testNow;
  g_testNow = first + 8;
  InvalidateRect(g_app.editorWindow, nullptr, TRUE);
  RunPeriodicUpdateCheck(g_app.mainWindow);
  ASSERT_EQ(recorder.launches.size(), 1u);
  EXPECT_TRUE(recorder.launches[0].editorPainted);
  EXPECT_EQ(recorder.launches[0].file, exe);
  EXPECT_EQ(recorder.launches[0].parameters, "/u /i \"C:\\some where\\q.ini\"");
  // Auto off: nothing more.
  g_settings.lists.update.Auto = 0;
  g_testNow = first + 5000;
  RunPeriodicUpdateCheck(g_app.mainWindow);
  EXPECT_EQ(recorder.launches.size(), 1u);
  g_testNow = 0x01D00000;
}

}  // namespace

namespace {

// The one-shot jobs of the built program: without a maker host in this build
// /? cannot open the manual (exit 1) and /u sends nothing (exit 0); neither
// shows a window or a message.
TEST(ShellJobs, HelpAndUpdateOptionsExitWithoutAWindow) {
  struct Case {
    const char *options;
    DWORD exit;
  } const kCases[] = {{" /nl /ns /?", 1}, {" /nl /ns /u", 0}};
  for (const Case &c : kCases) {
    Program p("\"" + ExeDir() + "quillpad.exe\"" + c.options);
    ASSERT_TRUE(p.started());
    EXPECT_EQ(p.WaitExit(15000), c.exit) << c.options;
    EXPECT_EQ(FindProcessWindow(p.pid(), "QuilPad", false), nullptr) << c.options;
    EXPECT_EQ(FindProcessWindow(p.pid(), "#32770", false), nullptr) << c.options;
  }
}

// The /u job of the built program against the loopback server (named by the
// environment, the only way the program takes a host from outside): the
// answer lands in the configuration file named with /i, and a newer version
// is offered even though the job is silent.
TEST(ShellJobs, UpdateOptionRecordsTheAnswerInTheNamedConfiguration) {
  struct Case {
    const char *reply, *before, *tag;
    bool question;
    const char *after;
  } const kCases[] = {
      {kReal404, "[Update]\nFail=3\nLast=5\n", "none", false, "Fail=0\n"},
      {kReal200, "[Update]\nHash=abcdefghijklmno\nFail=2\nLast=5\n", "abcdefghijklmno", true,
       "Version 6.4.1.beta, NonUNICODE, 32-bit=200\n"},
      {"HTTP/1.1 503 Busy\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", "[Update]\nFail=3\nLast=5\n", "none",
       false, "Fail=4\n"},
  };
  for (const Case &c : kCases) {
    LoopServer loop(LoopServer::kReply, c.reply);
    ASSERT_TRUE(SetEnvironmentVariableA("QP_LOOPBACK_HOSTS", (loop.host() + "|").c_str()));
    TempFolder tmp;
    const std::string ini = tmp.File("q.ini");
    ASSERT_TRUE(WriteBytes(ini, std::string("\xEF\xBB\xBF") + c.before));
    Program p("\"" + ExeDir() + "quillpad.exe\" /i \"" + ini + "\" /u");
    SetEnvironmentVariableA("QP_LOOPBACK_HOSTS", nullptr);
    ASSERT_TRUE(p.started());
    if (c.question) {
      HWND box = WaitForWindow(p.pid(), "#32770", 15000);
      ASSERT_NE(box, nullptr) << c.tag;
      EXPECT_EQ(MessageBoxText(box), Text(TXT_NEW_VERSION));
      PostMessageA(box, WM_COMMAND, IDNO, 0);
    }
    EXPECT_EQ(p.WaitExit(15000), 0u) << c.tag;
    EXPECT_EQ(FindProcessWindow(p.pid(), "QuilPad", false), nullptr);
    const std::string after = ReadBytes(ini);
    EXPECT_NE(after.find(c.after), std::string::npos) << after;
    EXPECT_EQ(after.find("Last=5\n"), std::string::npos) << after;
    const std::vector<std::string> requests = loop.requests();
    ASSERT_EQ(requests.size(), 1u) << c.tag;
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
              std::string("HEAD /quillpad/updates/6.4.1.beta?u=") + c.tag + " HTTP/1.1");
  }
}

}  // namespace

namespace {

// The system's shell for real, in the test prefix: the URL and .htm
// associations run the recorder instead of a browser (and are put back
// afterwards), so that nothing reaches the host.
class RealShell : public testing::Test {
 protected:
  void SetUp() override {
    recorder_ = "\"" + ExeDir() + "qp_shell_recorder.exe\" \"%1\"";
    record_ = tmp_.File("launches.txt");
    ASSERT_TRUE(SetEnvironmentVariableA("QP_SHELL_RECORD", record_.c_str()));
    for (const char *key : {"http\\shell\\open\\command", "https\\shell\\open\\command", ".htm",
                            "qp.recorded\\shell\\open\\command"}) {
      Saved s{key, "", false};
      char value[1024];
      LONG size = sizeof value;
      if (RegQueryValueA(HKEY_CLASSES_ROOT, key, value, &size) == ERROR_SUCCESS) {
        s.value = value;
        s.existed = true;
      }
      saved_.push_back(s);
    }
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", REG_SZ, recorder_.c_str(), 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", REG_SZ, recorder_.c_str(), 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, ".htm", REG_SZ, "qp.recorded", 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "qp.recorded\\shell\\open\\command", REG_SZ, recorder_.c_str(), 0),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    for (const Saved &s : saved_) {
      if (s.existed) RegSetValueA(HKEY_CLASSES_ROOT, s.key.c_str(), REG_SZ, s.value.c_str(), 0);
    }
    if (saved_.size() == 4 && !saved_[2].existed) RegDeleteKeyA(HKEY_CLASSES_ROOT, ".htm");
    if (saved_.size() == 4 && !saved_[3].existed)
      for (const char *key : {"qp.recorded\\shell\\open\\command", "qp.recorded\\shell\\open", "qp.recorded\\shell", "qp.recorded"})
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    SetEnvironmentVariableA("QP_SHELL_RECORD", nullptr);
    DestroyFrame();
    SetShellHosts("", "");
  }
  // The arguments of each recorded start, after the program's name.
  std::vector<std::vector<std::string>> Launches(size_t expected) {
    PumpUntil([&] { return Lines().size() >= expected; }, 10000);
    std::vector<std::vector<std::string>> all;
    for (const std::string &line : Lines()) {
      int argc = 0;
      std::wstring wide(line.begin(), line.end());
      LPWSTR *argv = CommandLineToArgvW(wide.c_str(), &argc);
      std::vector<std::string> args;
      for (int i = 1; i < argc; i++) {
        char arg[2048];
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, arg, sizeof arg, nullptr, nullptr);
        args.push_back(arg);
      }
      LocalFree(argv);
      all.push_back(args);
    }
    return all;
  }

 private:
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    const std::string text = ReadBytes(record_);
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) lines.push_back(text.substr(at, end - at));
    return lines;
  }
  struct Saved {
    std::string key, value;
    bool existed;
  };
  TempFolder tmp_;
  std::string recorder_, record_;
  std::vector<Saved> saved_;
};

TEST_F(RealShell, WebSearchTextArrivesAsOneArgumentAndBothManualsOpenFromTheProgram) {
  ASSERT_TRUE(ResetFrameGlobals());
  SetShellHosts(nullptr, "find.test");
  ASSERT_EQ(CreateMainWindow(), 0);
  PumpMessages();
  for (const char *c = "a\" --x \"b&c#d"; *c; c++) SendMessageA(g_app.editorWindow, WM_CHAR, static_cast<u8>(*c), 1);
  SendMessageA(g_app.editorWindow, EM_SETSEL, 0, 100);
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_EDIT_WEB_SEARCH, 0), 0);
  std::vector<std::vector<std::string>> launches = Launches(1);
  ASSERT_EQ(launches.size(), 1u);
  ASSERT_EQ(launches[0].size(), 1u) << "the text was split into arguments";
  EXPECT_EQ(launches[0][0], "http://find.test/search?q=a%22%20--x%20%22b%26c%23d");
  DestroyFrame();

  // The program in a folder named with '%', '#' and spaces opens its own manual.
  TempFolder place;
  const std::string folder = place.path() + "q %41 #1 x\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA((ExeDir() + "quillpad.exe").c_str(), (folder + "quillpad.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((ExeDir() + "QuilPad.htm").c_str(), (folder + "QuilPad.htm").c_str(), FALSE));
  Program p("\"" + folder + "quillpad.exe\" /nl /ns /d 58111");
  ASSERT_TRUE(p.started());
  launches = Launches(2);
  ASSERT_EQ(launches.size(), 2u);
  ASSERT_EQ(launches[1].size(), 1u);
  // The browser is handed the file itself, or its address: either names this folder's manual.
  const std::string got = launches[1][0];
  std::string url = "file:///";
  for (char c : folder + "QuilPad.htm")
    url += c == '\\' ? "/" : c == '%' ? "%25" : c == '#' ? "%23" : c == ' ' ? "%20" : std::string(1, c);
  EXPECT_TRUE(_stricmp(got.c_str(), (folder + "QuilPad.htm").c_str()) == 0 || got == url) << got;
  HWND main = WaitForWindow(p.pid(), "QuilPad", 15000);
  if (main) PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.WaitExit(15000), 0u);

  // /? with a maker host opens the online manual and exits 0 (1 without one,
  // see ShellJobs).
  ASSERT_TRUE(SetEnvironmentVariableA("QP_LOOPBACK_HOSTS", "127.0.0.1:9|"));
  Program help("\"" + ExeDir() + "quillpad.exe\" /nl /ns /?");
  SetEnvironmentVariableA("QP_LOOPBACK_HOSTS", nullptr);
  EXPECT_EQ(help.WaitExit(15000), 0u);
  launches = Launches(3);
  ASSERT_EQ(launches.size(), 3u);
  EXPECT_EQ(launches[2], std::vector<std::string>{"http://127.0.0.1:9/quillpad/manual/"});
}

}  // namespace
