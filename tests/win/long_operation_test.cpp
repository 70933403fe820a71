// Long operations on a real editor window: the worker thread, the wait for
// it (no input and no wait window in the first second, then the window with
// Cancel), inline runs, nesting, a thread that cannot be made, the worker's
// random numbers, the undo group and the restored view.
#include <windows.h>

#include <atomic>
#include <string>

#include "document/long_operation.h"
#include "document/undo.h"
#include "editor/wait_window.h"
#include "foundation/fault.h"
#include "foundation/random.h"
#include "tests/support/document_support.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/word_job.h"
#include "tests/win/editor_harness.h"

namespace {

// A job that waits in steps of 10 ms for `ms` or until cancelled, and notes
// what it saw: its thread, whether the wait window was up (and then presses
// its Cancel when asked to), its first random number.
struct Job {
  DWORD ms = 0;
  bool pressCancel = false;
  DWORD thread = 0;
  std::atomic<bool> sawWaitWindow{false};
  u64 random = 0;
  int steps = 0;
};

int RunJob(LongOperation *op) {
  Job *job = static_cast<Job *>(op->context);
  job->thread = GetCurrentThreadId();
  job->random = RandomStep(ThreadRecordCurrent());
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < job->ms && !LongOperationCancelled(op)) {
    Sleep(10);
    job->steps++;
    HWND wait = CurrentWaitWindow();
    if (wait) {
      job->sawWaitWindow = true;
      if (job->pressCancel) PostMessageA(wait, WM_COMMAND, IDCANCEL, 0);
      job->pressCancel = false;  // pressed once
    }
  }
  return LongOperationCancelled(op) ? 32 : 7;
}

class LongOperationTest : public EditorTest {
 protected:
  LRESULT Run(Job *job, u32 flags) {
    op_.work = RunJob;
    op_.context = job;
    op_.cancel = 0;
    op_.limitMs = 0;
    return SendMessageA(editor_, EDM_RUNLONG, flags, reinterpret_cast<LPARAM>(&op_));
  }
  LongOperation op_ = {};
};

// A short job: on its own thread, no wait window, and input that arrived
// meanwhile waits in the queue; a long one shows the window, whose Cancel
// stops it, and the frame is enabled again afterwards.
TEST_F(LongOperationTest, TheWaitWindowComesAfterASecondAndCancels) {
  Job quick;
  quick.ms = 300;
  PostMessageA(editor_, WM_CHAR, 'q', 1);
  EXPECT_EQ(Run(&quick, 0), 7);
  EXPECT_NE(quick.thread, GetCurrentThreadId());
  EXPECT_FALSE(quick.sawWaitWindow);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, editor_, WM_CHAR, WM_CHAR, PM_NOREMOVE)) << "the typed key waits for the job";
  Job slow;
  slow.ms = 3000;
  slow.pressCancel = true;
  const DWORD start = GetTickCount();
  EXPECT_EQ(Run(&slow, 0), 32);
  EXPECT_TRUE(slow.sawWaitWindow);
  EXPECT_LT(GetTickCount() - start, 2500u) << "Cancel ended it early";
  EXPECT_EQ(op_.cancel.load(), 1u);
  EXPECT_EQ(CurrentWaitWindow(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(GetAncestor(editor_, GA_ROOT)));
}

// Inline runs stay on this thread; an operation started inside another runs
// inline and obeys the outer one's Cancel; the worker continues this
// thread's random numbers.
TEST_F(LongOperationTest, InlineNestedAndRandomNumbers) {
  Job inlineJob;
  EXPECT_EQ(Run(&inlineJob, kRunInline), 7);
  EXPECT_EQ(inlineJob.thread, GetCurrentThreadId());

  ThreadRecord saved = *ThreadRecordCurrent();
  const u64 expected = RandomStep(ThreadRecordCurrent());
  *ThreadRecordCurrent() = saved;
  Job worker;
  EXPECT_EQ(Run(&worker, 0), 7);
  EXPECT_NE(worker.thread, GetCurrentThreadId());
  EXPECT_EQ(worker.random, expected);

  // The outer job starts an inner one through the editor, then is cancelled.
  struct Outer {
    HWND editor;
    Job inner;
    DWORD innerThread = 0;
    int innerResult = 0;
  } outer{editor_, {}, 0, 0};
  outer.inner.ms = 5000;
  LongOperation outerOp = {};
  outerOp.context = &outer;
  outerOp.work = [](LongOperation *op) {
    Outer *o = static_cast<Outer *>(op->context);
    op->cancel = 1;  // as Cancel would, before the inner run
    LongOperation inner = {};
    inner.work = RunJob;
    inner.context = &o->inner;
    o->innerResult = static_cast<int>(SendMessageA(o->editor, EDM_RUNLONG, 0, reinterpret_cast<LPARAM>(&inner)));
    return 0;
  };
  EXPECT_EQ(SendMessageA(editor_, EDM_RUNLONG, kRunInline, reinterpret_cast<LPARAM>(&outerOp)), 0);
  EXPECT_EQ(outer.innerResult, 32) << "the inner run saw the outer Cancel";
  EXPECT_EQ(outer.inner.thread, GetCurrentThreadId());
  EXPECT_FALSE(LongOperationRunning());

  // A highlighting search inline stops itself after 256 ms.
  Job highlight;
  highlight.ms = 3000;
  const DWORD start = GetTickCount();
  EXPECT_EQ(Run(&highlight, kRunInline | kRunHighlight5), 32);
  EXPECT_EQ(op_.limitMs, kInlineHighlightLimitMs);
  EXPECT_LT(GetTickCount() - start, 1500u);
}

// A changing operation is one undo group; when no thread can be made the
// result is -1 and the group is closed; unless cancelled, the caret and the
// first row come back.
TEST_F(LongOperationTest, UndoGroupThreadFailureAndTheView) {
  std::string text;
  for (int i = 0; i < 200; i++) text += "line\r\n";
  SetText(text);
  SendMessageA(editor_, EDM_GOTO, 150, 0);  // scroll somewhere
  Select(603, 603);
  const u32 top = ed()->topLine;
  struct Typer {
    HWND editor;
  } typer{editor_};
  LongOperation op = {};
  op.context = &typer;
  op.work = [](LongOperation *o) {
    HWND editor = static_cast<Typer *>(o->context)->editor;
    // Each change comes from the worker as a request to the window.
    for (int i = 0; i < 3; i++) {
      SendMessageA(editor, EM_SETSEL, static_cast<WPARAM>(i * 7), i * 7);
      SendMessageA(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("x"));
    }
    return 0;
  };
  const u32 caret = doc()->caret.position;
  EXPECT_EQ(SendMessageA(editor_, EDM_RUNLONG, kRunChanges, reinterpret_cast<LPARAM>(&op)), 0);
  EXPECT_EQ(Text().substr(0, 21), "xline\r\nxline\r\nxline\r\n");
  EXPECT_EQ(doc()->caret.position, caret) << "the caret where it was";
  EXPECT_EQ(ed()->topLine, top);
  EXPECT_EQ(doc()->undo.groupMode, 0u);
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), text) << "one undo takes all three back";
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultThread, 1, false);
  {
    ScopedFaultInjector scope(&fi);
    EXPECT_EQ(SendMessageA(editor_, EDM_RUNLONG, kRunChanges, reinterpret_cast<LPARAM>(&op)), -1);
  }
  EXPECT_EQ(fi.fired[kFaultThread], 1u);
  EXPECT_EQ(doc()->undo.groupMode, 0u) << "the group closed";
  EXPECT_EQ(Text(), text) << "nothing ran";
}

// The word job on the editor: its batches go to the window as EDM_EDIT.
int SendBatch(void *context, const EditBatch *batch) {
  return static_cast<int>(SendMessageA(static_cast<HWND>(context), EDM_EDIT, reinterpret_cast<WPARAM>(batch), 0));
}

// Text with the word at random places, and the text with its first `count`
// occurrences replaced.
std::string WordText(unsigned seed, size_t bytes) {
  TestRandom rng(seed);
  std::string t = RandomText(rng, bytes, 60);
  for (size_t p = rng.Below(200); p + 7 < t.size(); p += 7 + rng.Below(500)) t.replace(p, 7, "replace");
  return t;
}
std::string Replaced(const std::string &t, u32 count) {
  std::string out;
  size_t p = 0, q;
  for (u32 i = 0; i < count && (q = t.find("replace", p)) != std::string::npos; i++, p = q + 7) {
    out.append(t, p, q - p);
    out += "REPLACED!";
  }
  return out.append(t, p, std::string::npos);
}

class WordJobTest : public LongOperationTest {
 protected:
  LRESULT RunWords(u32 flags, LongOperation *op = nullptr) {
    job_ = WordJob{doc(), "replace", "REPLACED!", SendBatch, editor_, 0, 0};
    LongOperation local = {};
    if (!op) op = &local;
    op->work = RunWordJob;
    op->context = &job_;
    return SendMessageA(editor_, EDM_RUNLONG, kRunChanges | flags, reinterpret_cast<LPARAM>(op));
  }
  WordJob job_ = {};
};

// 32 MiB: on the worker and inline, the text is the model's; one Undo takes
// every batch back, one Redo brings them again.
TEST_F(WordJobTest, ThreadedInlineAndTheModelAgree) {
  const std::string text = WordText(1, 32u << 20);
  const u32 count = static_cast<u32>((Replaced(text, 0xFFFFFFFFu).size() - text.size()) / 2);
  const std::string model = Replaced(text, count);
  ASSERT_GT(count, 100000u) << "more than one batch";
  for (u32 flags : {0u, static_cast<u32>(kRunInline)}) {
    SetText(text);
    EXPECT_EQ(RunWords(flags), 0);
    EXPECT_EQ(job_.replaced, count);
    EXPECT_GT(job_.batches, 1u);
    EXPECT_TRUE(Text() == model) << "flags " << flags;
    EXPECT_EQ(doc()->undo.groupMode, 0u);
    SendMessageA(editor_, WM_UNDO, 0, 0);
    EXPECT_TRUE(Text() == text) << "one undo";
    EXPECT_EQ(SendMessageA(editor_, 0x0454 /* EM_REDO */, 0, 0), 1);
    EXPECT_TRUE(Text() == model) << "one redo";
  }
}

// Cancelled at random moments by another thread, the job leaves a prefix of
// the model's replacements, which one Undo takes back.
TEST_F(WordJobTest, CancelKeepsAPrefix) {
  const std::string text = WordText(2, 8u << 20);
  TestRandom rng(3);
  for (int round = 0; round < 4; round++) {
    SetText(text);
    LongOperation op = {};
    struct Canceller {
      LongOperation *op;
      DWORD ms;
    } canceller{&op, 5 + rng.Below(120)};
    struct Start {
      // A thread's start routine has the system's calling convention,
      // which a lambda cannot take on the 32-bit build.
      static DWORD WINAPI Cancel(void *p) {
        Canceller *c = static_cast<Canceller *>(p);
        Sleep(c->ms);
        c->op->cancel.fetch_add(1);
        return 0;
      }
    };
    HANDLE thread = CreateThread(nullptr, 0, Start::Cancel, &canceller, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const LRESULT r = RunWords(0, &op);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_TRUE(r == 0 || r == 32) << r;
    EXPECT_TRUE(Text() == Replaced(text, job_.replaced)) << "after " << canceller.ms << " ms, " << job_.replaced;
    SendMessageA(editor_, WM_UNDO, 0, 0);
    EXPECT_TRUE(Text() == text);
  }
}

// Allocation N fails (inline, so that the count is the job's): the batches
// before it stay, the failing one changes nothing, the group is closed and
// one Undo takes the text back.
TEST_F(WordJobTest, AllocationFailures) {
  const std::string text = WordText(4, 48u << 10);
  const std::string model = Replaced(text, 0xFFFFFFFFu);
  u32 n = 1;
  for (;; n++) {
    SetText(text);
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    LRESULT r;
    {
      ScopedFaultInjector scope(&fi);
      r = RunWords(kRunInline);
    }
    ASSERT_TRUE(r == 0 || r == -1) << n;
    EXPECT_TRUE(Text() == (r == 0 ? model : text)) << n;
    EXPECT_EQ(doc()->undo.groupMode, 0u);
    EXPECT_TRUE(DocOk(doc(), false));
    SendMessageA(editor_, WM_UNDO, 0, 0);
    EXPECT_TRUE(Text() == text) << n;
    if (!fi.fired[kFaultAlloc] || HasFailure()) break;
  }
  EXPECT_GT(n, 5u);
}

// A question of the worker is asked on this thread, over the wait window,
// and its answer goes back to the worker.
TEST_F(WordJobTest, WorkerQuestionsComeToTheWindow) {
  ScriptedAnswerer answers;
  answers.Expect("Go on?", kAskYesNo, kAnswerYes);
  struct Seen {
    DWORD thread = 0;
    int answer = 0;
  } seen;
  LongOperation op = {};
  op.context = &seen;
  op.work = [](LongOperation *o) {
    Seen *s = static_cast<Seen *>(o->context);
    s->thread = GetCurrentThreadId();
    s->answer = AskUser(nullptr, "Go on?", kAskYesNo);
    return 0;
  };
  struct Watch {
    HWND wait = nullptr;
    DWORD thread = 0;
  } static watch;
  static const Answerer *scripted;
  static const Answerer spy = {[](void *, WindowRef owner, const char *text, AskKind kind) {
                                 watch.wait = CurrentWaitWindow();
                                 watch.thread = GetCurrentThreadId();
                                 return scripted->answer(scripted->context, owner, text, kind);
                               },
                               nullptr};
  scripted = InstallAnswerer(&spy);
  EXPECT_EQ(SendMessageA(editor_, EDM_RUNLONG, 0, reinterpret_cast<LPARAM>(&op)), 0);
  InstallAnswerer(scripted);
  EXPECT_NE(seen.thread, GetCurrentThreadId());
  EXPECT_EQ(seen.answer, kAnswerYes);
  EXPECT_EQ(watch.thread, GetCurrentThreadId()) << "asked on the window's thread";
  EXPECT_NE(watch.wait, nullptr) << "with the wait window up";
  EXPECT_EQ(CurrentWaitWindow(), nullptr);
}

}  // namespace
