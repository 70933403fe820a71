// Sort, Shuffle and column extraction against models written from their
// rules: random lines (case variants, locale numbers, separators, NUL, every
// newline kind) under random key sets compared with std::stable_sort and a
// comparator of the test's own; column extraction against a splitter of its
// own; Shuffle against Fisher-Yates with a copy of the generator; the rules'
// examples as one table; allocation faults and cancel through the runner.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config_state.h"
#include "document/long_operation.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/fault.h"
#include "foundation/random.h"
#include "tests/support/document_support.h"
#include "tests/support/tool_support.h"
#include "tools/columns.h"
#include "tools/sort_tools.h"
#include "tools/tool_table.h"

namespace {

using Strings = std::vector<std::string>;

Strings SplitModel(const std::string &t) {
  Strings lines(1);
  for (size_t i = 0; i < t.size(); i++) {
    if (t[i] == '\r' || t[i] == '\n') {
      if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') i++;
      lines.emplace_back();
    } else {
      lines.back() += t[i];
    }
  }
  return lines;
}

std::string Join(const Strings &lines, const std::string &nl) {
  std::string s;
  for (size_t i = 0; i < lines.size(); i++) s += (i ? nl : "") + lines[i];
  return s;
}

// ---- column model: the line cut into columns first ----

struct Field {
  size_t start, count;
};

Field ColumnModel(const std::string &line, const ColumnDef &d) {
  if (d.CC == 2) return {0, 0};
  size_t s = 0, n = line.size();
  if (d.CC == 1) {
    const std::string delims(d.CD);
    std::vector<std::pair<size_t, size_t>> cols;  // [begin, end)
    size_t begin = 0, i = 0;
    auto delimAt = [&](size_t at) -> size_t {
      if (delims.empty()) return 0;
      if (d.CDs) return line.compare(at, delims.size(), delims) == 0 ? delims.size() : 0;
      return delims.find(line[at]) != std::string::npos ? 1 : 0;
    };
    while (i < line.size()) {
      size_t k = delimAt(i);
      if (!k) {
        i++;
        continue;
      }
      cols.push_back({begin, i});
      i += k;
      while (d.CDc && i < line.size() && (k = delimAt(i)) != 0) i += k;
      begin = i;
    }
    cols.push_back({begin, line.size()});
    long long from = d.CFr, to = d.CTo, c = static_cast<long long>(cols.size());
    if (from < 1 || to < 1 || from > to || from > c) return {0, 0};
    if (d.CRl) {
      const long long f = c + 1 - to, t = c + 1 - from;
      from = std::max(1LL, f), to = t;
    }
    to = std::min(to, c);
    s = cols[from - 1].first;
    n = cols[to - 1].second - s;
  }
  if (d.RC) {
    if (d.RFr < 1 || d.RTo < 1) return {0, 0};
    if (d.RFr > d.RTo || static_cast<size_t>(d.RFr) > n) return {s, 0};
    std::vector<size_t> kept;
    for (size_t p = 1; p <= n; p++) {
      const size_t counted = d.RRl ? n + 1 - p : p;
      if (counted >= static_cast<size_t>(d.RFr) && counted <= static_cast<size_t>(d.RTo)) kept.push_back(p);
    }
    return {s + kept.front() - 1, kept.size()};
  }
  return {s, n};
}

// ---- comparator model ----

struct KeyModel {
  SortKey k;
  bool ignore[256];
};

KeyModel MakeKeyModel(const SortKey &k) {
  KeyModel m;
  m.k = k;
  for (int c = 0; c < 256; c++) {
    const u16 t = CharType(static_cast<u8>(c));
    const bool listedKeep = k.IBl && std::string(k.IBd).find(static_cast<char>(c)) != std::string::npos && c;
    const bool listedIgnore = k.ICl && std::string(k.ICd).find(static_cast<char>(c)) != std::string::npos && c;
    bool ig = k.IBl || k.INa;
    if (listedKeep) ig = false;
    if (k.INa && (t & (kC1Alpha | kC1Digit))) ig = false;
    if ((k.IWs || k.Num) && (t & kC1Space)) ig = true;
    if ((k.IPn && (t & kC1Punct)) || (k.IBn && (t & kC1Blank)) || (k.ICt && (t & kC1Cntrl))) ig = true;
    if (listedIgnore) ig = true;
    m.ignore[c] = ig;
  }
  return m;
}

struct Num {
  int sign;
  std::string in, fr;
};

Num ReadNumber(const std::string &s, const KeyModel &m, const NumberLocale &loc) {
  size_t i = 0;
  auto skip = [&] {
    while (i < s.size() && m.ignore[static_cast<u8>(s[i])]) i++;
  };
  auto at = [&](const char *x) { return x[0] && s.compare(i, strlen(x), x) == 0; };
  auto fold = [&](char c) { return m.k.IC ? static_cast<char>(ToLower(static_cast<u8>(c))) : c; };
  auto digit = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); };
  auto sign = [&](int *out) {
    if (at(loc.negative)) *out = -1, i += strlen(loc.negative);
    else if (at(loc.positive)) i += strlen(loc.positive);
  };
  Num n{1, "", ""};
  skip();
  if (!loc.signAfter) sign(&n.sign);
  for (;;) {
    skip();
    if (i == s.size() || at(loc.decimal)) break;
    if (at(loc.thousands)) i += strlen(loc.thousands);
    else if (digit(fold(s[i]))) n.in += fold(s[i++]);
    else break;
  }
  if (i < s.size() && at(loc.decimal)) {
    i += strlen(loc.decimal);
    for (;;) {
      skip();
      if (i == s.size()) break;
      if (at(loc.thousands)) i += strlen(loc.thousands);
      else if (digit(fold(s[i]))) n.fr += fold(s[i++]);
      else break;
    }
  }
  if (loc.signAfter) {
    skip();
    sign(&n.sign);
  }
  n.in.erase(0, n.in.find_first_not_of('0') == std::string::npos ? n.in.size() : n.in.find_first_not_of('0'));
  while (!n.fr.empty() && n.fr.back() == '0') n.fr.pop_back();
  if (n.in.empty() && n.fr.empty()) n.sign = 0;
  return n;
}

// A sort key's ranges given backwards are taken forwards.
ColumnDef PreparedColumnDef(ColumnDef d) {
  if (d.CFr > d.CTo) std::swap(d.CFr, d.CTo);
  if (d.RFr > d.RTo) std::swap(d.RFr, d.RTo);
  return d;
}

int Sgn(int v) { return (v > 0) - (v < 0); }

int CompareKeyModel(const std::string &a, const std::string &b, const KeyModel &m, const NumberLocale &loc) {
  const Field fa = ColumnModel(a, PreparedColumnDef(m.k.column)), fb = ColumnModel(b, PreparedColumnDef(m.k.column));
  const std::string pa = a.substr(fa.start, fa.count), pb = b.substr(fb.start, fb.count);
  if (m.k.Num) {
    const Num x = ReadNumber(pa, m, loc), y = ReadNumber(pb, m, loc);
    if (x.sign != y.sign) return x.sign < y.sign ? -1 : 1;
    if (x.sign == 0) return 0;
    int r = x.in.size() != y.in.size() ? (x.in.size() < y.in.size() ? -1 : 1) : Sgn(x.in.compare(y.in));
    if (!r) r = Sgn(x.fr.compare(y.fr));
    return x.sign * r;
  }
  std::string x, y;
  for (char c : pa)
    if (!m.ignore[static_cast<u8>(c)]) x += m.k.IC ? static_cast<char>(ToLower(static_cast<u8>(c))) : c;
  for (char c : pb)
    if (!m.ignore[static_cast<u8>(c)]) y += m.k.IC ? static_cast<char>(ToLower(static_cast<u8>(c))) : c;
  return Sgn(x.compare(y));
}

std::string RunSort(const std::string &text, const SortRequest &req, bool shuffle = false) {
  ToolDocument in = {}, out = {};
  EXPECT_EQ(ToolDocumentAppend(&in, text.data(), static_cast<u32>(text.size())), 0);
  EXPECT_EQ((shuffle ? ShuffleLinesTool : SortLinesTool)(&in, &out, reinterpret_cast<ToolParam>(&req)), 0);
  std::string r(out.text ? out.text : "", out.length);
  ToolDocumentFree(&in);
  ToolDocumentFree(&out);
  return r;
}

NumberLocale Locale(const char *dec, const char *th, const char *neg, const char *pos, int after) {
  NumberLocale l = {};
  StrCopy(l.decimal, dec);
  StrCopy(l.thousands, th);
  StrCopy(l.negative, neg);
  StrCopy(l.positive, pos);
  l.signAfter = after;
  return l;
}

SortRequest Request(const NumberLocale &loc, const char *nl = "\n") {
  SortRequest r = {};
  r.locale = loc;
  r.newlineLength = static_cast<u32>(strlen(nl));
  memcpy(r.newline, nl, r.newlineLength);
  return r;
}

}  // namespace

namespace {

const NumberLocale kLocales[] = {
    Locale(".", ",", "-", "+", 0), Locale(",", ".", "-", "+", 1), Locale(",", " ", "-", "", 0),
    Locale(".", "'", "neg", "pos", 1), Locale("", "", "", "", 0), Locale("dec", "--", "~", "+", 0),
};

std::string RandomLine(TestRandom &rng, const NumberLocale &loc) {
  static const char *const kWords[] = {"apple", "Apple", "APPLE", "b", "B", "a", "A", "zeta", "x1", "", "\xE9t\xC9",
                                       "a\0b", "\x01", "0", "00"};
  static const char kSeps[] = " ,;|\t.-#";
  std::string line;
  const unsigned parts = rng.Below(5);
  for (unsigned p = 0; p < parts; p++) {
    if (p) line += kSeps[rng.Below(sizeof kSeps - 1)];
    if (rng.OneIn(2)) {
      const unsigned w = rng.Below(QP_ARRAY_COUNT(kWords));
      line += w == 11 ? std::string("a\0b", 3) : kWords[w];
      continue;
    }
    // A number in (or near) the locale's syntax.
    std::string num;
    const unsigned sign = rng.Below(4), at = rng.Below(3);
    const char *signText = sign == 0 ? loc.negative : sign == 1 ? loc.positive : "";
    if (at == 0) num += signText;
    const unsigned digits = rng.Below(7);
    for (unsigned d = 0; d < digits; d++) {
      if (d && rng.OneIn(4)) num += rng.OneIn(4) ? " " : loc.thousands;
      num += rng.OneIn(12) ? static_cast<char>('a' + rng.Below(26)) : static_cast<char>('0' + rng.Below(rng.OneIn(3) ? 2 : 10));
    }
    if (rng.OneIn(2)) {
      num += rng.OneIn(8) ? "." : loc.decimal;
      const unsigned f = rng.Below(4);
      for (unsigned d = 0; d < f; d++) num += static_cast<char>('0' + rng.Below(rng.OneIn(2) ? 1 : 10));
    }
    if (at == 1) num += signText;
    if (rng.OneIn(10)) num += signText;  // several signs
    line += num;
  }
  return line;
}

std::string Describe(const SortRequest &r) {
  std::string s = "locale '" + std::string(r.locale.decimal) + "' '" + r.locale.thousands + "' '" + r.locale.negative +
                  "' '" + r.locale.positive + "' after " + std::to_string(r.locale.signAfter);
  for (const SortKey &k : r.keys) {
    if (!k.Use) continue;
    const ColumnDef &c = k.column;
    char b[1024];
    snprintf(b, sizeof b,
             "\nkey dsc%d num%d ic%d ws%d pn%d bn%d ct%d na%d cl%d'%s' bl%d'%s' cc%d %d..%d '%s' ph%d co%d rl%d rc%d "
             "%d..%d rrl%d",
             k.Dsc, k.Num, k.IC, k.IWs, k.IPn, k.IBn, k.ICt, k.INa, k.ICl, k.ICd, k.IBl, k.IBd, c.CC, c.CFr, c.CTo,
             c.CD, c.CDs, c.CDc, c.CRl, c.RC, c.RFr, c.RTo, c.RRl);
    s += b;
  }
  return s;
}

SortKey RandomKey(TestRandom &rng) {
  SortKey k = {};
  k.Use = !rng.OneIn(3);
  k.Dsc = rng.Below(2);
  k.Num = rng.OneIn(3);
  k.IC = rng.Below(2);
  k.IWs = rng.OneIn(4);
  k.IPn = rng.OneIn(5);
  k.IBn = rng.OneIn(6);
  k.ICt = rng.OneIn(6);
  k.INa = rng.OneIn(8);
  k.ICl = rng.OneIn(5);
  StrCopy(k.ICd, rng.OneIn(2) ? "a" : "-1");
  k.IBl = rng.OneIn(10);
  StrCopy(k.IBd, rng.OneIn(2) ? "abcAB012" : "0123456789.,-");
  ColumnDef &c = k.column;
  c.CC = rng.OneIn(3) ? 1 : rng.OneIn(10) ? 2 : 0;
  c.CFr = static_cast<i32>(rng.Below(6)) - 1;
  c.CTo = static_cast<i32>(rng.Below(6)) - 1;
  static const char *const kDelims[] = {" ", ",;", "|", " |", "", ", "};
  StrCopy(c.CD, kDelims[rng.Below(6)]);
  c.CDs = rng.OneIn(3);
  c.CDc = rng.Below(2);
  c.CRl = rng.OneIn(3);
  c.RC = rng.OneIn(4);
  c.RFr = static_cast<i32>(rng.Below(7)) - 1;
  c.RTo = static_cast<i32>(rng.Below(9)) - 1;
  c.RRl = rng.Below(2);
  return k;
}

// The sort against std::stable_sort with the model comparator. Many lines
// compare equal but differ (case variants, skipped characters, other
// columns, 1.5 and +01.50), so the output shows whether equal lines kept
// their order; the test counts such runs to be sure they happen.
TEST(Sort, MatchesStableSortOfTheModelUnderRandomKeys) {
  TestRandom rng(6401);
  int runsWithDistinctTies = 0;
  static const char *const kNewlines[] = {"\r\n", "\n", "\r"};
  for (int round = 0; round < 2500; round++) {
    const NumberLocale &loc = kLocales[rng.Below(QP_ARRAY_COUNT(kLocales))];
    SortRequest req = Request(loc, kNewlines[rng.Below(3)]);
    const int keys = 1 + rng.Below(kSortKeys);
    for (int k = 0; k < keys; k++) req.keys[k] = RandomKey(rng);
    if (rng.OneIn(2)) req.keys[0].Use = 1;
    std::string text;
    const unsigned n = rng.Below(40);
    Strings pool;
    for (unsigned i = 0; i < n; i++) {
      if (!pool.empty() && rng.OneIn(5)) {
        text += pool[rng.Below(static_cast<unsigned>(pool.size()))];  // a duplicate
      } else {
        pool.push_back(RandomLine(rng, loc));
        text += pool.back();
      }
      if (i + 1 < n) text += kNewlines[rng.Below(3)];
    }
    const Strings lines = SplitModel(text);
    std::vector<KeyModel> models;
    for (int k = 0; k < kSortKeys; k++)
      if (req.keys[k].Use) models.push_back(MakeKeyModel(req.keys[k]));
    auto compare = [&](const std::string &a, const std::string &b) {
      for (const KeyModel &m : models) {
        const int r = CompareKeyModel(a, b, m, loc);
        if (r) return m.k.Dsc ? -r : r;
      }
      return 0;
    };
    std::vector<size_t> order(lines.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return compare(lines[a], lines[b]) < 0; });
    Strings sorted;
    for (size_t i : order) sorted.push_back(lines[i]);
    for (size_t i = 1; i < order.size(); i++)
      if (order[i - 1] < order[i] && lines[order[i - 1]] != lines[order[i]] &&
          compare(lines[order[i - 1]], lines[order[i]]) == 0) {
        runsWithDistinctTies++;
        break;
      }
    SCOPED_TRACE(testing::Message() << "round " << round << " " << Describe(req));
    ASSERT_EQ(RunSort(text, req), Join(sorted, std::string(req.newline, req.newlineLength)));
    // The comparison itself agrees (sign) pair by pair on a few pairs.
    PreparedKeys prepared;
    PrepareSortKeys(req.keys, kSortKeys, loc, &prepared);
    for (int t = 0; t < 8 && !lines.empty(); t++) {
      const std::string &a = lines[rng.Below(static_cast<unsigned>(lines.size()))];
      const std::string &b = lines[rng.Below(static_cast<unsigned>(lines.size()))];
      ASSERT_EQ(Sgn(CompareLines(a.data(), static_cast<u32>(a.size()), b.data(), static_cast<u32>(b.size()), prepared)),
                compare(a, b))
          << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
    }
  }
  EXPECT_GT(runsWithDistinctTies, 300);
}

// Column extraction against the model, every option and out-of-range number.
TEST(Sort, ExtractColumnMatchesTheModel) {
  TestRandom rng(6502);
  const char alphabet[] = "ab ,;|  x";
  static const char *const kDelims[] = {" ", ",;", "|", " |", "", ", ", "ab", "  "};
  for (int round = 0; round < 20000; round++) {
    std::string line;
    const unsigned n = rng.Below(16);
    for (unsigned i = 0; i < n; i++) line += alphabet[rng.Below(sizeof alphabet - 1)];
    ColumnDef d = {};
    d.CC = rng.Below(3);
    d.CFr = static_cast<i32>(rng.Below(8)) - 1;
    d.CTo = static_cast<i32>(rng.Below(8)) - 1;
    StrCopy(d.CD, kDelims[rng.Below(QP_ARRAY_COUNT(kDelims))]);
    d.CDs = rng.Below(2);
    d.CDc = rng.Below(2);
    d.CRl = rng.Below(2);
    d.RC = rng.Below(2);
    d.RFr = static_cast<i32>(rng.Below(10)) - 1;
    d.RTo = static_cast<i32>(rng.Below(10)) - 1;
    d.RRl = rng.Below(2);
    PreparedColumn prep;
    PrepareColumn(d, false, &prep);
    u32 start = 99, count = 99;
    ExtractColumn(line.data(), static_cast<u32>(line.size()), prep, &start, &count);
    const Field want = ColumnModel(line, d);
    ASSERT_TRUE(start == want.start && count == want.count)
        << "round " << round << " line '" << line << "' CC " << d.CC << " cols " << d.CFr << ".." << d.CTo << " '"
        << d.CD << "' phrase " << d.CDs << " collapse " << d.CDc << " back " << d.CRl << " pos " << d.RC << " "
        << d.RFr << ".." << d.RTo << " back " << d.RRl << ": got " << start << "+" << count << " want " << want.start
        << "+" << want.count;
    ASSERT_LE(start + count, line.size());
  }
}

// The rules' examples and the edges, as one table.
TEST(Sort, Examples) {
  const NumberLocale dot = Locale(".", ",", "-", "+", 0), after = Locale(",", ".", "-", "+", 1);
  struct Row {
    const char *name;
    std::string in, out;
    bool desc, num, ic;
    i32 cc, from, to;
    NumberLocale loc;
  };
  const Row rows[] = {
      {"codes, not collation", "b\nB\na\nA", "A\nB\na\nb", false, false, false, 0, 0, 0, dot},
      {"ignore case keeps order", "b\nB\na\nA", "a\nA\nb\nB", false, false, true, 0, 0, 0, dot},
      {"descending keeps order of equals", "a\nA\nb\nB", "b\nB\na\nA", true, false, true, 0, 0, 0, dot},
      {"numbers", "10\n9\n-3\n1.5", "-3\n1.5\n9\n10", false, true, false, 0, 0, 0, dot},
      {"sign after, comma decimal", "10\n9\n3-\n1,5\n2.000", "3-\n1,5\n9\n10\n2.000", false, true, false, 0, 0, 0, after},
      {"zero has no sign; no digits read 0", "-0\n+0\n#x\n0.0", "-0\n+0\n#x\n0.0", false, true, false, 0, 0, 0, dot},
      {"negatives invert, fractions", "-1.25\n-1.3\n-1.2\n1.2\n1.25", "-1.3\n-1.25\n-1.2\n1.2\n1.25", false, true, false,
       0, 0, 0, dot},
      {"long numbers exactly", "123456789012345678901234567891\n123456789012345678901234567890\n9",
       "9\n123456789012345678901234567890\n123456789012345678901234567891", false, true, false, 0, 0, 0, dot},
      {"leading zeros, thousands, spaces", "0001,000\n999\n 1 001", "999\n0001,000\n 1 001", false, true, false, 0, 0, 0,
       dot},
      {"columns 3 to 2 as 2 to 3", "x c b\ny a z\nz a a", "z a a\ny a z\nx c b", false, false, false, 1, 3, 2, dot},
      {"shorter first", "ab\na\n\nabc", "\na\nab\nabc", false, false, false, 0, 0, 0, dot},
      {"a trailing newline is an empty line", "b\na\n", "\na\nb", false, false, false, 0, 0, 0, dot},
      {"empty text", "", "", false, false, false, 0, 0, 0, dot},
      {"mixed newlines made uniform", "c\r\nb\ra\n", "\na\nb\nc", false, false, false, 0, 0, 0, dot},
      {"NUL bytes compare as codes", std::string("a\0b\na\na\0", 8), std::string("a\na\0\na\0b", 8), false, false,
       false, 0, 0, 0, dot},
  };
  for (const Row &row : rows) {
    SortRequest req = Request(row.loc);
    SortKey &k = req.keys[0];
    k.Use = 1, k.Dsc = row.desc, k.Num = row.num, k.IC = row.ic;
    k.column.CC = row.cc, k.column.CFr = row.from, k.column.CTo = row.to;
    StrCopy(k.column.CD, " ");
    EXPECT_EQ(RunSort(row.in, req), row.out) << row.name;
  }
  // A second key decides what the first leaves equal; a key not in use does not count.
  SortRequest req = Request(dot);
  req.keys[0].Use = 1, req.keys[0].column.CC = 1, req.keys[0].column.CFr = req.keys[0].column.CTo = 2;
  StrCopy(req.keys[0].column.CD, ",");
  req.keys[1].Use = 0, req.keys[1].Dsc = 1;
  req.keys[2].Use = 1, req.keys[2].Dsc = 1, req.keys[2].Num = 1;
  EXPECT_EQ(RunSort("9,b\n10,a\n2,b\n1,a", req), "10,a\n1,a\n9,b\n2,b");
  // Shuffle of one line.
  EXPECT_EQ(RunSort("only", req, true), "only");
  EXPECT_EQ(RunSort("", req, true), "");
}

// Shuffle is Fisher-Yates from the end with the thread's generator.
TEST(Sort, ShuffleIsFisherYatesWithTheThreadsGenerator) {
  TestRandom rng(77);
  ThreadRecord *mine = ThreadRecordCurrent();
  const ThreadRecord saved = *mine;
  for (int round = 0; round < 200; round++) {
    Strings lines;
    const unsigned n = 1 + rng.Below(300);
    for (unsigned i = 0; i < n; i++) lines.push_back("line " + std::to_string(i) + (rng.OneIn(3) ? "x" : ""));
    ThreadRecord seed = {{static_cast<u32>(rng.Next()), 2, 3, static_cast<u32>(rng.Next()), 5}};
    ThreadRecord model = seed;
    *mine = seed;
    Strings expect = lines;
    for (unsigned k = n; k >= 2; k--) std::swap(expect[k - 1], expect[static_cast<u32>(RandomStep(&model)) % k]);
    const SortRequest req = Request(kLocales[0], "\r\n");
    ASSERT_EQ(RunSort(Join(lines, round % 2 ? "\n" : "\r"), req, true), Join(expect, "\r\n")) << round;
  }
  *mine = saved;
}

// ---- through the runner ----

using Host = ToolTestHost;

// The quick sorts read TSortIC at each run and write the document's
// newlines (CR LF for a mixed one); allocation N failing (once, and from N
// on) or a cancel leaves the text as it was.
TEST(Sort, QuickSortsThroughTheRunnerFaultsAndCancel) {
  const SettingsBlock saved = g_settings;
  const ToolRunSettings settings = {2, 0, 0, 0};
  const char *kNewline[] = {"\r\n", "\n", "\r", "\r\n"};
  for (u32 type = 0; type < 4; type++) {
    for (int ic = 0; ic < 2; ic++) {
      g_settings.main.TSortIC = ic;
      for (int id : {36120, 36130}) {
        TestDocument d;
        d.Load("b\nB\r\na\rA");
        d->newlineType = type;
        d.Select(0, 9);
        ToolDescriptor tool;
        ASSERT_TRUE(DescribeTool(id, &tool));
        Host host;
        ASSERT_EQ(RunTool(d, &tool, host.Make(d), settings), 0);
        const char *want = id == 36120 ? (ic ? "a A b B" : "A B a b") : (ic ? "b B a A" : "b a B A");
        std::string joined;
        for (const char *c = want; *c; c++) joined += *c == ' ' ? std::string(kNewline[type]) : std::string(1, *c);
        EXPECT_EQ(d.Text(), joined) << id << " ic " << ic << " type " << type;
      }
    }
  }
  g_settings = saved;
  std::string text;
  TestRandom rng(3);
  for (int i = 0; i < 2000; i++) text += "w" + std::to_string(rng.Below(500)) + (i % 3 ? "\r\n" : "\n");
  text += "end";
  for (int id : {36120, 36210}) {
    for (int persistent = 0; persistent < 2; persistent++) {
      for (u32 n = 1;; n++) {
        TestDocument d;
        d.Load(text);
        d.Select(0, static_cast<unsigned>(text.size()));
        ToolDescriptor tool;
        ASSERT_TRUE(DescribeTool(id, &tool));
        Host host;
        FaultInjector fi;
        FaultReset(&fi);
        FaultPlan(&fi, kFaultAlloc, n, persistent != 0);
        int r;
        {
          ScopedFaultInjector scope(&fi);
          r = RunTool(d, &tool, host.Make(d), settings);
        }
        SCOPED_TRACE(testing::Message() << id << " n " << n << " persistent " << persistent);
        if (r == 0) {
          Strings got = SplitModel(d.Text()), want = SplitModel(text);
          if (id == 36120) std::stable_sort(want.begin(), want.end());
          else std::sort(got.begin(), got.end()), std::sort(want.begin(), want.end());
          EXPECT_EQ(got, want);
        } else {
          EXPECT_TRUE(r == kResultOutOfMemory || r == kResultReported) << r;
          EXPECT_EQ(d.Text(), text);
          EXPECT_EQ(d->undo.count, 0u);
        }
        if (fi.fired[kFaultAlloc] == 0) break;
      }
    }
    TestDocument d;
    d.Load(text);
    d.Select(0, static_cast<unsigned>(text.size()));
    ToolDescriptor tool;
    ASSERT_TRUE(DescribeTool(id, &tool));
    Host host;
    host.cancel = true;
    EXPECT_EQ(RunTool(d, &tool, host.Make(d), settings), kResultCancelled);
    EXPECT_EQ(d.Text(), text);
  }
}

}  // namespace

// The line writer joins the listed lines with the newline, none after the
// last; lists of a million lines and more are written in two halves at once.
TEST(Sort, TheLineWriterJoinsTheListedLines) {
  TestRandom rng(3);
  for (u32 count : {0u, 1u, 2u, 7u, (1u << 20) + 3}) {
    std::string text;
    std::vector<LineSpan> lines;
    for (u32 i = 0; i < count; i++) {
      const u32 length = rng.Below(6);
      lines.push_back({static_cast<u32>(text.size()), length});
      for (u32 k = 0; k < length; k++) text.push_back(static_cast<char>('a' + rng.Below(26)));
    }
    for (u32 i = count; i > 1; i--) std::swap(lines[i - 1], lines[rng.Below(i)]);
    for (const char *newline : {"\r\n", "\n"}) {
      std::string want;
      for (u32 i = 0; i < count; i++) {
        if (i) want += newline;
        want.append(text, lines[i].start, lines[i].length);
      }
      ToolDocument out = {};
      ASSERT_EQ(WriteLines(text.data(), lines.data(), sizeof(LineSpan), count, newline,
                           static_cast<u32>(strlen(newline)), &out),
                0);
      EXPECT_TRUE(std::string(out.text, out.length) == want && out.text[out.length] == 0) << count << " lines";
      ToolDocumentFree(&out);
    }
  }
}
