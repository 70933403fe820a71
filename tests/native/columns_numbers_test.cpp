// Columns, Numbers through the runner against a reference interpreter of
// the mask language written here from its rules (it reads the mask anew
// for every line, where the tool compiles it once): random lines x random
// masks (malformed ones included) x random counters, random ranges, column
// definitions and the non-empty-only option; the rules' examples and edges as
// one table; awk on the subset both speak; allocation faults, cancel,
// progress and a result too large to hold.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "config/config_state.h"
#include "document/long_operation.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/fault.h"
#include "foundation/random.h"
#include "tests/support/tool_support.h"
#include "tests/support/document_support.h"
#include "tools/columns.h"
#include "tools/columns_numbers.h"
#include "tools/tool_table.h"

namespace {

// ---- the reference interpreter ----

struct MLine {
  std::string text, newline;
};

std::vector<MLine> SplitLines(const std::string &t) {
  std::vector<MLine> lines(1);
  for (size_t i = 0; i < t.size(); i++) {
    if (t[i] != '\r' && t[i] != '\n') {
      lines.back().text += t[i];
      continue;
    }
    const bool crlf = t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n';
    lines.back().newline = crlf ? "\r\n" : std::string(1, t[i]);
    if (crlf) i++;
    lines.emplace_back();
  }
  return lines;
}

bool BlankModel(const std::string &s) {
  for (char c : s)
    if (!(CharType(static_cast<u8>(c)) & kC1Space)) return false;
  return true;
}

std::string Decimal(long long v) { return std::to_string(v); }

std::string InBase(long long v, int base, bool upper) {
  if (base == 10) return Decimal(v);
  const std::string digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  u32 m = static_cast<u32>(static_cast<unsigned long long>(v));
  std::string s;
  do {
    s.insert(s.begin(), digits[m % static_cast<u32>(base)]);
    m /= static_cast<u32>(base);
  } while (m);
  return s;
}

std::string Pad(std::string v, char align, size_t width, bool number) {
  if (!align || v.size() >= width) return v;
  const size_t pad = width - v.size();
  switch (align) {
    case '<': return v + std::string(pad, ' ');
    case '>': return std::string(pad, ' ') + v;
    case '+':
      if (number && v[0] == '-') return "-" + std::string(pad, '0') + v.substr(1);
      return std::string(pad, '0') + v;
    default: return std::string(pad - pad / 2, ' ') + v + std::string(pad / 2, ' ');
  }
}

struct Field {
  u32 start, count;
};

std::string Model(const std::string &text, const ColumnsRequest &req, const std::string &docNewline, ThreadRecord rng) {
  const std::string mask(req.mask, StrLenN(req.mask, 1023));
  const std::vector<MLine> lines = SplitLines(text);
  PreparedColumn preps[9];
  for (int k = 0; k < 9; k++) PrepareColumn(req.columns[k], false, &preps[k]);
  auto field = [&](const std::string &line, int k) -> std::string {
    if (k == 0) return line;
    u32 s, c;
    ExtractColumn(line.data(), static_cast<u32>(line.size()), preps[k - 1], &s, &c);
    return line.substr(s, c);
  };
  // The widths from the whole selection.
  size_t widest[10] = {};
  long long counted = 0;
  for (const MLine &l : lines) {
    for (int k = 0; k < 10; k++) widest[k] = std::max(widest[k], field(l.text, k).size());
    if (!(req.nonEmptyOnly && BlankModel(l.text))) counted++;
  }
  const long long first = req.counterFrom, last = first + static_cast<long long>(req.counterStep) * counted;
  const bool ranged = req.randomMax > req.randomMin;
  const size_t randomWidth =
      ranged ? std::max(Decimal(req.randomMin).size(), Decimal(req.randomMax).size()) : Decimal(INT32_MIN).size();
  std::string out;
  long long count = 0;
  for (const MLine &l : lines) {
    if (req.nonEmptyOnly && BlankModel(l.text)) {
      out += l.text + l.newline;
      continue;
    }
    const long long value = first + static_cast<long long>(req.counterStep) * count++;
    for (size_t i = 0; i < mask.size();) {
      if (mask[i] != '%') {
        out += mask[i++];
        continue;
      }
      if (i + 1 < mask.size() && mask[i + 1] == '%') {
        out += '%';
        i += 2;
        continue;
      }
      size_t j = i + 1;
      char align = 0;
      while (j < mask.size() && std::string("<>+!").find(mask[j]) != std::string::npos) align = mask[j++];
      const char v = j < mask.size() ? mask[j] : 0;
      const char after = j + 1 < mask.size() ? mask[j + 1] : 0;
      const std::string bases = "dxXob";
      if (v >= '0' && v <= '9') {
        out += Pad(field(l.text, v - '0'), align, widest[v - '0'], false);
        i = j + 1;
      } else if (v == 'l' && after >= '0' && after <= '9') {
        out += Pad(Decimal(field(l.text, after - '0').size()), align, Decimal(widest[after - '0']).size(), true);
        i = j + 2;
      } else if (v && bases.find(v) != std::string::npos) {
        const int base = v == 'd' ? 10 : v == 'o' ? 8 : v == 'b' ? 2 : 16;
        const size_t w = std::max(InBase(first, base, v == 'X').size(), InBase(last, base, v == 'X').size());
        out += Pad(InBase(value, base, v == 'X'), align, w, true);
        i = j + 1;
      } else if (v == 'r') {
        const u32 r = static_cast<u32>(RandomStep(&rng));
        const long long x = ranged ? req.randomMin + static_cast<long long>(
                                                         r % (static_cast<long long>(req.randomMax) - req.randomMin + 1))
                                   : static_cast<i32>(r);
        out += Pad(Decimal(x), align, randomWidth, true);
        i = j + 1;
      } else if (v == 'n') {
        out += docNewline;
        i = j + 1;
      } else {
        out += "Error!";
        i++;
      }
    }
    out += l.newline;
  }
  return out;
}

// ---- through the runner ----

struct Host {
  bool cancel = false;
  bool thread = false;
  u32 cancelAt = 0;  // with a thread: cancel once the progress reaches this
  u32 progress = 0, total = 0;
  Document *doc = nullptr;
  ToolHost Make(Document *d) {
    doc = d;
    ToolHost h = {};
    h.context = this;
    h.runLong = [](void *c, LongOperation *op, u32 flags) {
      Host *host = static_cast<Host *>(c);
      if (host->cancel) op->cancel.store(1);
      LongOperationHooks hooks = {};
      hooks.context = host;
      hooks.wait = [](void *context, PlatThread, LongOperation *running) {
        const Host *waiting = static_cast<Host *>(context);
        if (!waiting->cancelAt) return;
        while (running->progress.load() < waiting->cancelAt) {
        }
        CancelOperation(running);
      };
      const int r = RunLong(host->doc, op, host->thread ? flags : flags | kRunInline, hooks);
      host->progress = op->progress.load();
      host->total = op->total;
      return r;
    };
    return h;
  }
};

const char *const kDocNewline[] = {"\r\n", "\n", "\r", "\r\n"};

void Store(const ColumnsRequest &req) {
  ToolSettings &t = g_settings.tools;
  StrCopyN(t.CtMask, req.mask, sizeof t.CtMask);
  t.CtEmpt = req.nonEmptyOnly;
  t.CtFrom = req.counterFrom;
  t.CtStep = req.counterStep;
  t.CtRMin = req.randomMin;
  t.CtRMax = req.randomMax;
  for (int k = 0; k < kColumnDefs; k++) t.columns[k] = req.columns[k];
}

class Columns : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_settings;
    savedRandom_ = *ThreadRecordCurrent();
  }
  void TearDown() override {
    g_settings = saved_;
    *ThreadRecordCurrent() = savedRandom_;
  }
  ScopedToolStreaming streaming_{g_toolInputChunk, g_toolHalves};  // put back after each test
  const u32 kHalves = streaming_.halves, kChunk = streaming_.chunk;
  // Runs 32610 with the request stored over the whole text (nothing pulled
  // back); the result code, and the text in *out.
  int Run(const std::string &text, const ColumnsRequest &req, std::string *out, u32 newlineType = 1,
          Host *given = nullptr, FaultInjector *faults = nullptr) {
    Store(req);
    TestDocument d;
    d.Load(text);
    d->newlineType = newlineType;
    d.Select(0, static_cast<unsigned>(text.size()));
    ToolDescriptor tool;
    EXPECT_TRUE(DescribeTool(32610, &tool));
    tool.flags |= kToolNoPullBack;
    Host own;
    Host &host = given ? *given : own;
    const ToolHost made = host.Make(d);
    int r;
    {
      ScopedFaultInjector scope(faults);
      r = RunTool(d, &tool, made, ToolRunSettings{2, 0, 0, 0});
    }
    *out = d.Text();
    if (r != 0) {
      EXPECT_EQ(d->undo.count, 0u);
    }
    return r;
  }
  std::string Run(const std::string &text, const ColumnsRequest &req, u32 newlineType = 1) {
    std::string out;
    EXPECT_EQ(Run(text, req, &out, newlineType), 0);
    return out;
  }
  SettingsBlock saved_;
  ThreadRecord savedRandom_;
};

ColumnsRequest Request(const char *mask, int from = 1, int step = 1) {
  ColumnsRequest r = {};
  StrCopyN(r.mask, mask, sizeof r.mask);
  r.counterFrom = from;
  r.counterStep = step;
  return r;
}

// Column k (1-9) by delimiter characters.
void ByDelimiters(ColumnsRequest *r, int k, const char *delimiters, int from, int to) {
  ColumnDef &c = r->columns[k - 1];
  c.CC = kColumnColumns;
  StrCopy(c.CD, delimiters);
  c.CFr = from;
  c.CTo = to;
}

std::string Describe(const ColumnsRequest &r) {
  std::string s = "mask '" + std::string(r.mask) + "' empt " + std::to_string(r.nonEmptyOnly) + " counter " +
                  std::to_string(r.counterFrom) + "+" + std::to_string(r.counterStep) + " random " +
                  std::to_string(r.randomMin) + ".." + std::to_string(r.randomMax);
  for (const ColumnDef &c : r.columns)
    s += "\n  cc" + std::to_string(c.CC) + " " + std::to_string(c.CFr) + ".." + std::to_string(c.CTo) + " '" + c.CD +
         "' ph" + std::to_string(c.CDs) + " co" + std::to_string(c.CDc) + " rl" + std::to_string(c.CRl) + " rc" +
         std::to_string(c.RC) + " " + std::to_string(c.RFr) + ".." + std::to_string(c.RTo) + " rrl" +
         std::to_string(c.RRl);
  return s;
}

std::string RandomMask(TestRandom &rng) {
  static const char *const kPieces[] = {"%0", "%1", "%2", "%3", "%9", "%l0", "%l2", "%l9", "%d", "%x", "%X", "%o",
                                        "%b", "%r", "%n", "%%", "%",  "%l", "%q", "%L1", "%D", " ", "|", ". ",
                                        "ab", "%<", "%>", "%+", "%!", "l", "0", "<"};
  std::string m;
  const unsigned n = rng.Below(9);
  for (unsigned i = 0; i < n; i++) {
    std::string p = kPieces[rng.Below(QP_ARRAY_COUNT(kPieces))];
    if (p[0] == '%' && p.size() > 1 && rng.OneIn(2)) {
      std::string align;
      for (unsigned k = 1 + rng.Below(3); k > 0; k--) align += "<>+!"[rng.Below(4)];
      p.insert(1, align);
    }
    m += p;
  }
  return m;
}

i32 RandomNumber(TestRandom &rng) {
  static const i32 kEdges[] = {INT32_MIN, INT32_MAX, 0, 1, -1, 5, -7, 10, 100, -1000, 255, 65535};
  return rng.OneIn(3) ? kEdges[rng.Below(QP_ARRAY_COUNT(kEdges))] : static_cast<i32>(rng.Below(41)) - 20;
}

ColumnDef RandomColumn(TestRandom &rng) {
  ColumnDef c = {};
  c.CC = rng.Below(3);
  c.CFr = static_cast<i32>(rng.Below(6)) - 1;
  c.CTo = static_cast<i32>(rng.Below(6)) - 1;
  static const char *const kDelims[] = {" ", ",;", "|", " |", "", ", ", "\t"};
  StrCopy(c.CD, kDelims[rng.Below(QP_ARRAY_COUNT(kDelims))]);
  c.CDs = rng.OneIn(3);
  c.CDc = rng.Below(2);
  c.CRl = rng.OneIn(3);
  c.RC = rng.OneIn(4);
  c.RFr = static_cast<i32>(rng.Below(7)) - 1;
  c.RTo = static_cast<i32>(rng.Below(9)) - 1;
  c.RRl = rng.Below(2);
  return c;
}

std::string RandomText(TestRandom &rng) {
  static const char *const kNewlines[] = {"\r\n", "\n", "\r"};
  const char alphabet[] = "ab c,;|x  \t-1";
  std::string t;
  const unsigned lines = 1 + rng.Below(12);
  for (unsigned i = 0; i < lines; i++) {
    const unsigned n = rng.OneIn(5) ? 0 : rng.Below(18);
    for (unsigned k = 0; k < n; k++) t += rng.OneIn(50) ? '\0' : alphabet[rng.Below(sizeof alphabet - 1)];
    if (i + 1 < lines || rng.OneIn(4)) t += kNewlines[rng.Below(3)];
  }
  return t.empty() ? "e" : t;  // an empty selection is the runner's to refuse
}

TEST_F(Columns, MatchesTheReferenceInterpreter) {
  TestRandom rng(6510);
  int errors = 0, padded = 0;
  for (int round = 0; round < 4000; round++) {
    ColumnsRequest req = {};
    StrCopyN(req.mask, RandomMask(rng).c_str(), sizeof req.mask);
    req.nonEmptyOnly = rng.OneIn(3);
    req.counterFrom = RandomNumber(rng);
    req.counterStep = RandomNumber(rng);
    req.randomMin = RandomNumber(rng);
    req.randomMax = rng.OneIn(4) ? req.randomMin : RandomNumber(rng);
    for (ColumnDef &c : req.columns) c = RandomColumn(rng);
    const std::string text = RandomText(rng);
    const u32 type = rng.Below(4);
    ThreadRecord seed = {{static_cast<u32>(rng.Next()), 2, 3, static_cast<u32>(rng.Next()), 5}};
    *ThreadRecordCurrent() = seed;
    const std::string want = Model(text, req, kDocNewline[type], seed);
    g_toolHalves = round % 2 ? 1 : kHalves;  // odd rounds: two halves at once
    g_toolInputChunk = round % 4 >= 2 ? 1 : kChunk;  // a line read at a time
    SCOPED_TRACE(testing::Message() << "round " << round << " " << Describe(req) << "\ntext "
                                    << testing::PrintToString(text));
    ASSERT_EQ(Run(text, req, type), want);
    errors += want.find("Error!") != std::string::npos;
    padded += std::string(req.mask).find_first_of("<>+!") != std::string::npos;
  }
  EXPECT_GT(errors, 500);
  EXPECT_GT(padded, 1000);
}

// Several definitions cut with shared walks give what each gives alone.
TEST(ColumnSets, ExtractColumnsMatchesExtractColumn) {
  TestRandom rng(271);
  const char alphabet[] = "ab ,;|  x:";
  static const char *const kDelims[] = {" ", " ", ",;", ";,", "|", "", "::"};
  for (int round = 0; round < 20000; round++) {
    PreparedColumn preps[9];
    const PreparedColumn *pointers[9];
    const u32 n = 1 + rng.Below(9);
    for (u32 k = 0; k < n; k++) {
      ColumnDef d = RandomColumn(rng);
      StrCopy(d.CD, kDelims[rng.Below(QP_ARRAY_COUNT(kDelims))]);
      if (rng.OneIn(2)) d.CC = kColumnColumns, d.CRl = 0, d.CDs = 0;
      if (rng.OneIn(8)) d.CTo = 30 + static_cast<i32>(rng.Below(5));  // past what a walk records
      PrepareColumn(d, false, &preps[k]);
      pointers[k] = &preps[k];
    }
    ColumnSet set;
    PrepareColumnSet(pointers, n, &set);
    std::string line;
    for (unsigned i = rng.Below(40); i > 0; i--) line += alphabet[rng.Below(sizeof alphabet - 1)];
    u32 start[9], count[9];
    ExtractColumns(line.data(), static_cast<u32>(line.size()), set, start, count);
    for (u32 k = 0; k < n; k++) {
      u32 s, c;
      ExtractColumn(line.data(), static_cast<u32>(line.size()), preps[k], &s, &c);
      ASSERT_TRUE(s == start[k] && c == count[k]) << "round " << round << " definition " << k << " '" << line << "'";
    }
  }
}

// The rules' examples and the edges, as one table.
TEST_F(Columns, Examples) {
  std::string ten;
  for (int i = 1; i <= 10; i++) ten += "line" + std::to_string(i) + (i < 10 ? "\n" : "");
  std::string numbered;
  for (int i = 1; i <= 10; i++) numbered += (i < 10 ? "0" : "") + std::to_string(i) + ". line" + std::to_string(i) + (i < 10 ? "\n" : "");
  ColumnsRequest cols = Request("%>1|%2");
  ByDelimiters(&cols, 1, " ", 1, 1);
  ByDelimiters(&cols, 2, " ", 2, 2);
  ColumnsRequest centre = Request("[%!0][%<1][%+1]");
  ByDelimiters(&centre, 1, " ", 1, 1);
  ColumnsRequest reversed = Request("[%1][%2][%3]");
  ByDelimiters(&reversed, 1, " ", 3, 2);               // not swapped: nothing
  ByDelimiters(&reversed, 2, "", 1, 1);                // no delimiters: one column
  ByDelimiters(&reversed, 3, "::", 2, 2);
  reversed.columns[2].CDs = 1;                    // a phrase
  ColumnsRequest empt = Request("%d:%0");
  empt.nonEmptyOnly = 1;
  ColumnsRequest negative = Request("%+d|%>d", -5, 3);
  ColumnsRequest huge = Request("%d %x %X %o", INT32_MAX, INT32_MAX);
  ColumnsRequest low = Request("%d %x %b", INT32_MIN, INT32_MIN);
  ColumnsRequest lengths = Request("%l0|%>l0|%+l0");
  ColumnsRequest ranged = Request("%r");
  ranged.randomMin = 3, ranged.randomMax = 3;  // equal: the whole range
  struct Row {
    const char *name;
    std::string in;
    ColumnsRequest req;
    std::string out;
    u32 newlineType;
  };
  const Row rows[] = {
      {"numbered with zeros", ten, Request("%+d. %0"), numbered, 1},
      {"right-aligned column", "a b\nccc d\nee f", cols, "  a|b\nccc|d\n ee|f", 1},
      {"unknown variable", "x\ny", Request("%q"), "Error!q\nError!q", 1},
      {"mask ending in %", "x", Request("a%"), "aError!", 1},
      {"mask ending in %l", "x", Request("%l"), "Error!l", 1},
      {"mask ending in %<<", "x", Request("%<<"), "Error!<<", 1},
      {"specifiers then %", "x", Request("%<%d"), "Error!<1", 1},
      {"percent, newline", "x\ny", Request("%%%n%0"), "%\r\nx\n%\r\ny", 0},
      {"newline of a Unix document", "x", Request("%n"), "\n", 1},
      {"newline of a Mac document", "x", Request("%n"), "\r", 2},
      {"newline of a mixed document", "x", Request("%n"), "\r\n", 3},
      {"own newlines kept, last none", "a\r\nb\rc\nd", Request("[%0]"), "[a]\r\n[b]\r[c]\n[d]", 1},
      {"a trailing newline is an empty line", "a\n", Request("<%0>"), "<a>\n<>", 1},
      {"blank lines pass and are not counted", "a\n  \t\nb\n\nc", empt, "1:a\n  \t\n2:b\n\n3:c", 1},
      {"centre, left, zeros on text", "a b\nabcd", centre, "[ a b][a   ][000a]\n[abcd][abcd][abcd]", 1},
      {"reversed, no delimiters, phrase", "a b c::d::e", reversed, "[][a b c::d::e][d]", 1},
      {"negative counter: zeros after the sign", "a\nb\nc\nd", negative, "-5|-5\n-2|-2\n01| 1\n04| 4", 1},
      {"counter past 32 bits", "a\nb\nc", huge,
       "2147483647 7fffffff 7FFFFFFF 17777777777\n4294967294 fffffffe FFFFFFFE 37777777776\n"
       "6442450941 7ffffffd 7FFFFFFD 17777777775",
       1},
      {"counter below -2^31", "a\nb", low, "-2147483648 80000000 1" + std::string(31, '0') + "\n-4294967296 0 0", 1},
      {"lengths", "abc\n\nabcdefghij", lengths, "3| 3|03\n0| 0|00\n10|10|10", 1},
      {"default mask: column 1 is the line", "a b\nc", Request("%1"), "a b\nc", 1},
  };
  for (const Row &row : rows) EXPECT_EQ(Run(row.in, row.req, row.newlineType), row.out) << row.name;

  // %r: equal minimum and maximum draw the whole 32-bit range; the widest
  // range (its span 2^32) neither divides by zero nor leaves it; a range of
  // two gives both values. Each against the thread's generator.
  std::string lines;
  for (int i = 0; i < 400; i++) lines += "x\n";
  lines += "x";
  ColumnsRequest full = Request("%r");
  full.randomMin = INT32_MIN, full.randomMax = INT32_MAX;
  ColumnsRequest two = Request("%r");
  two.randomMin = -1, two.randomMax = 0;
  for (const ColumnsRequest &req : {ranged, full, two}) {
    ThreadRecord seed = {{11, 2, 3, 99, 5}};
    *ThreadRecordCurrent() = seed;
    const std::string got = Run(lines, req);
    EXPECT_EQ(got, Model(lines, req, "\n", seed));
    long long lo = 0, hi = 0;
    for (const MLine &l : SplitLines(got)) {
      const long long v = std::stoll(l.text);
      lo = std::min(lo, v), hi = std::max(hi, v);
      if (req.randomMax > req.randomMin) {
        ASSERT_TRUE(v >= req.randomMin && v <= req.randomMax) << v;
      }
    }
    if (req.randomMax > req.randomMin && req.randomMax == 0) {
      EXPECT_EQ(lo, -1);
      EXPECT_EQ(hi, 0);
    } else {
      EXPECT_LT(lo, -(1LL << 28));  // values far beyond 3 both ways
      EXPECT_GT(hi, 1LL << 28);
    }
  }
}

// The subset both speak, on lines of two to five words.
TEST_F(Columns, AgreesWithAwk) {
#ifdef _WIN32
  GTEST_SKIP() << "no awk here";
#else
  if (system("command -v awk >/dev/null 2>&1") != 0) GTEST_SKIP() << "awk is not installed";
  TestRandom rng(4242);
  static const char *const kWords[] = {"a", "bee", "sea", "dee", "quill", "x1", "-7", "10"};
  std::string text;
  const int n = 3000;
  for (int i = 0; i < n; i++) {
    for (unsigned w = 2 + rng.Below(4); w > 0; w--) text += std::string(kWords[rng.Below(8)]) + (w > 1 ? " " : "");
    if (i + 1 < n) text += "\n";
  }
  char path[] = "/tmp/quillpad-columns-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  FILE *f = fdopen(fd, "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  auto awk = [&](const std::string &program) {
    const std::string command = "LC_ALL=C awk '" + program + "' " + path;
    FILE *p = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t k;
    while ((k = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, k);
    pclose(p);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  };
  ColumnsRequest swap = Request("%2|%1");
  ByDelimiters(&swap, 1, " ", 1, 1);
  ByDelimiters(&swap, 2, " ", 2, 2);
  const std::string width = std::to_string(std::to_string(n + 1).size());
  EXPECT_EQ(Run(text, swap), awk("{print $2\"|\"$1}"));
  EXPECT_EQ(Run(text, Request("%+d. %0")), awk("{printf \"%0" + width + "d. %s\\n\", NR, $0}"));
  EXPECT_EQ(Run(text, Request("%l0")), awk("{print length($0)}"));
  unlink(path);
#endif
}

// Allocation N failing (once, and from N on): the run completes as the
// model says or leaves the document as it was. Masks with and without the
// pre-pass, lines that make the output grow several times.
TEST_F(Columns, AllocationFailuresChangeNothing) {
  std::string text;
  TestRandom rng(9);
  for (int i = 0; i < 4000; i++) text += "w" + std::to_string(rng.Below(100000)) + " v" + std::to_string(i) + "\n";
  text += "z " + std::string(70000, 'y');  // a long column 2 makes the output grow
  for (const char *mask : {"%2 %1 %d", "%>1|%+d%r"}) {
    ColumnsRequest req = Request(mask);
    ByDelimiters(&req, 1, " ", 1, 1);
    ByDelimiters(&req, 2, " ", 2, 2);
    const std::string want = Model(text, req, "\n", *ThreadRecordCurrent());
    for (int mode = 0; mode < 4; mode++) {
      const int persistent = mode & 1;
      g_toolHalves = mode & 2 ? 1 : kHalves;  // the result in two parts,
      g_toolInputChunk = mode & 2 ? 999 : kChunk;   // the input read in chunks
      for (u32 n = 1;; n++) {
        const ThreadRecord seed = *ThreadRecordCurrent();
        FaultInjector fi;
        FaultReset(&fi);
        FaultPlan(&fi, kFaultAlloc, n, persistent != 0);
        std::string got;
        const int r = Run(text, req, &got, 1, nullptr, &fi);
        *ThreadRecordCurrent() = seed;
        SCOPED_TRACE(testing::Message() << mask << " n " << n << " mode " << mode);
        if (r == 0) {
          ASSERT_EQ(got, want);
        } else {
          ASSERT_TRUE(r == kResultOutOfMemory || r == kResultReported) << r;
          ASSERT_EQ(got, text);
        }
        if (fi.fired[kFaultAlloc] == 0) break;
      }
    }
  }
}

// Cancel before the first line (inline: the tool stops at once) and at
// points along the run (on a thread): the document as it was. A finished
// run hands over progress equal to the line count, with a pre-pass or not.
TEST_F(Columns, CancelAndProgress) {
  std::string text;
  for (int i = 0; i < 20000; i++) text += "some words " + std::to_string(i) + "\n";
  const char *const masks[] = {"%0", "%>0 %d", "%d"};
  for (int round = 0; round < 6; round++) {
    const char *mask = masks[round % 3];
    g_toolHalves = round < 3 ? kHalves : 1;  // then in two halves, read in chunks
    g_toolInputChunk = round < 3 ? kChunk : 4000;
    const ColumnsRequest req = Request(mask);
    Host done;
    std::string got;
    ASSERT_EQ(Run(text, req, &got, 1, &done), 0);
    EXPECT_EQ(done.progress, done.total);
    EXPECT_EQ(done.total, 20001u);
    Host early;
    early.cancel = true;
    ASSERT_EQ(Run(text, req, &got, 1, &early), kResultCancelled) << mask;
    EXPECT_EQ(got, text);
    EXPECT_LE(early.progress, round < 3 ? 256u : 512u);  // each half stops at its first report
    for (u32 at : {1u, 5000u, 10000u, 15000u, 20000u}) {
      Host host;
      host.thread = true;
      host.cancelAt = at;
      ASSERT_EQ(Run(text, req, &got, 1, &host), kResultCancelled) << mask << " at " << at;
      EXPECT_EQ(got, text);
    }
  }
}

// Sizes are counted in 64 bits: a result past what a document holds is
// refused as out of memory, not wrapped.
TEST_F(Columns, ATooLargeResultIsOutOfMemory) {
  const std::string text(9u << 20, 'x');
  std::string mask;
  for (int i = 0; i < 500; i++) mask += "%0";
  std::string got;
  EXPECT_EQ(Run(text, Request(mask.c_str()), &got), kResultOutOfMemory);
  EXPECT_EQ(got, text);
}

}  // namespace
