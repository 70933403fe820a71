#include "tests/support/pattern_support.h"

#include <string.h>

#include <functional>
#include <map>
#include <random>

#include "foundation/char_class.h"
#include "foundation/memory.h"

// ---- Pattern ----------------------------------------------------------------------

Pattern::Pattern() {
  cp = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
  if (cp) memset(cp, 0, sizeof *cp);
}

Pattern::~Pattern() {
  if (!cp) return;
  FreePattern(cp);
  Free(cp);
}

int Pattern::Compile(const std::string &text, u32 flags, const PatternSettings &settings) {
  FreePattern(cp);
  return CompilePattern(cp, text.c_str(), flags, settings);
}

int Pattern::CompileUnoptimised(const std::string &text, u32 flags, const PatternSettings &settings) {
  FreePattern(cp);
  return CompilePatternUnoptimised(cp, text.c_str(), flags, settings);
}

std::string Pattern::Dump() const {
  std::string s(DumpPattern(cp, nullptr, 0) + 1, '\0');
  DumpPattern(cp, &s[0], static_cast<u32>(s.size()));
  s.resize(s.size() - 1);
  return s;
}

// ---- TestStore --------------------------------------------------------------------

// Replaces the blocks of a store holding `text` by blocks of these sizes (a
// sum of text.size()), in one group; aborts when memory runs out.
static void CutIntoBlocks(TextStore *s, const std::string &text, const std::vector<u32> &sizes) {
  for (u32 i = 0; i < s->blocks.count; i++) Free(s->blocks.entries[i].data);
  s->blocks.count = 0;
  if (!GrowTable(&s->blocks, static_cast<u32>(sizes.size()))) abort();
  u32 start = 0;
  for (size_t i = 0; i < sizes.size(); i++) {
    TextBlock &b = s->blocks.entries[i];
    b.group = 0;
    b.start = start;
    b.length = sizes[i];
    b.data = static_cast<char *>(Allocate(kBlockSmall));
    if (!b.data) abort();
    memcpy(b.data, text.data() + start, sizes[i]);
    start += sizes[i];
  }
  s->blocks.count = static_cast<u32>(sizes.size());
  s->blockGroups.count = 1;
  s->blockGroups.entries[0] = BlockGroup{0, 0, s->blocks.count, 0};
}

TestStore::TestStore(const std::string &text, unsigned maxBlock, unsigned long long seed) {
  if (!InitialiseStore(&s, 64, 512)) abort();
  if (!text.empty() &&
      StoreInsert(&s, 0, BytesSource(text.data(), static_cast<u32>(text.size())), kStoreNoProgress) != 0) {
    abort();
  }
  if (maxBlock == 0 || text.empty()) return;
  // Cut the text anew into blocks of 1 .. maxBlock bytes, in one group.
  std::mt19937_64 rng(seed);
  std::vector<u32> sizes;
  for (size_t done = 0; done < text.size();) {
    u32 n = 1 + static_cast<u32>(rng() % maxBlock);
    if (n > text.size() - done) n = static_cast<u32>(text.size() - done);
    sizes.push_back(n);
    done += n;
  }
  CutIntoBlocks(&s, text, sizes);
}

TestStore::~TestStore() { FreeStore(&s); }

// ---- results ------------------------------------------------------------------------

std::string Describe(const Found &f) {
  if (!f.found) return "none";
  std::string s = "at " + std::to_string(f.at) + ":";
  for (size_t g = 0; g < f.groups.size(); g++) {
    if (f.groups[g].second < 0 && f.groups[g].first < 0) continue;
    s += " " + std::to_string(g) + "=[" + std::to_string(f.groups[g].first) + "," +
         std::to_string(f.groups[g].second) + ")";
  }
  return s;
}

Found FromGroups(int result, u32 at, const MatchGroups &g) {
  Found f;
  f.found = result == kMatchFound;
  if (!f.found) return f;
  f.at = at;
  for (int k = 0; k < 10; k++) {
    const MatchSpan &sp = g.group[k];
    if (sp.end == kNoPosition) {
      f.groups.push_back({-1, -1});
    } else {
      f.groups.push_back({static_cast<long>(sp.start), static_cast<long>(sp.end)});
    }
  }
  return f;
}

Found EngineFind(CompiledPattern *cp, const TextStore *s, u32 from, u32 stopAt, u32 rangeEnd, bool backward,
                 bool rejectEmpty, int *result) {
  MatchGroups g;
  u32 at = 0;
  int r = FindMatch(cp, s, from, stopAt, rangeEnd, backward, rejectEmpty, &g, &at);
  if (result) *result = r;
  return FromGroups(r, at, g);
}

// ---- the reference matcher ------------------------------------------------------------

namespace {

using Groups = std::vector<GroupRecord>;
using Cont = std::function<bool(u32, Groups &)>;

struct Env {
  const Cont *end;                        // the end of the pattern
  std::map<u32, const Cont *> exits;      // group opening -> where leaving it goes instead
  u32 limit;                              // consumption stops here
};

struct Ref {
  const CompiledPattern *cp;
  const PatternNode *nodes;
  const std::string &t;
  u32 length, contextStart, contextEnd, rangeStart, rangeEnd;
  bool ignoreCase, regExps;
  unsigned long steps, stepLimit;
  bool gaveUp = false;

  Ref(const CompiledPattern *p, const std::string &text) : cp(p), nodes(p->nodes), t(text) {}

  u8 At(u32 p) const { return static_cast<u8>(t[p]); }
  bool Word(u32 q) const {  // the character at q, seen from the context
    if (q < contextStart || q >= contextEnd) return false;
    u8 c = At(q);
    if (regExps) return (PredefinedClassTables()[c] & 0x02) != 0;
    return IsWordChar(c);
  }
  bool LineStart(u32 p) const {
    if (p == 0) return true;
    if (At(p - 1) == '\n') return true;
    return At(p - 1) == '\r' && (p == length || At(p) != '\n');
  }
  bool LineEnd(u32 p) const {
    if (p == length) return true;
    if (At(p) == '\r') return true;
    return At(p) == '\n' && (p == 0 || At(p - 1) != '\r');
  }
  // The line around position p (p at its start or end): [start, end) of its text.
  void LineAround(u32 p, u32 *start, u32 *end) const {
    u32 a = p;
    while (a > 0 && At(a - 1) != '\n' && At(a - 1) != '\r') a--;
    u32 b = p;
    while (b < length && At(b) != '\n' && At(b) != '\r') b++;
    *start = a;
    *end = b;
  }
  bool BlankText(u32 a, u32 b) const {
    for (u32 k = a; k < b; k++) {
      if (!(CharType(At(k)) & kC1Space)) return false;
    }
    return true;
  }
  bool ParagraphStart(u32 p) const {
    if (!LineStart(p)) return false;
    u32 a, b;
    LineAround(p, &a, &b);
    if (BlankText(a, b)) return false;
    if (p == 0) return true;
    u32 before = p - 1;  // the newline before: its first byte
    if (At(before) == '\n' && before > 0 && At(before - 1) == '\r') before--;
    LineAround(before, &a, &b);
    return BlankText(a, b);
  }
  bool ParagraphEnd(u32 p) const {
    if (!LineEnd(p)) return false;
    u32 a, b;
    LineAround(p, &a, &b);
    if (BlankText(a, b)) return false;
    if (p == length) return true;
    u32 after = p + ((At(p) == '\r' && p + 1 < length && At(p + 1) == '\n') ? 2 : 1);
    LineAround(after, &a, &b);
    return BlankText(a, b);
  }
  bool Assertion(u8 kind, u32 p) const {
    bool before = p > 0 && Word(p - 1), after = Word(p);
    switch (kind) {
      case kNodeTextStart: return p == contextStart;
      case kNodeTextEnd: return p == contextEnd;
      case kNodeLineStart: return LineStart(p);
      case kNodeLineEnd: return LineEnd(p);
      case kNodeParagraphStart: return ParagraphStart(p);
      case kNodeParagraphEnd: return ParagraphEnd(p);
      case kNodeWordBoundary: return before != after;
      case kNodeNotWordBoundary: return before == after;
      case kNodeWordStart: return !before && after;
      case kNodeWordEnd: return before && !after;
      case kNodeSearchStart: return p == cp->scan.searchStart;
    }
    return false;
  }
  // One unit of an atom at p: its width, or -1.
  long Unit(const PatternNode &n, u32 p, const Groups &g, u32 limit) const {
    switch (n.kind) {
      case kNodeChar:
        return (p < limit && (At(p) == n.a || At(p) == n.b)) ? 1 : -1;
      case kNodeAny:
        return (p < limit && At(p) != '\r' && At(p) != '\n') ? 1 : -1;
      case kNodeClass:
        return (p < limit && ClassHas(cp, n.a, n.b, At(p))) ? 1 : -1;
      case kNodeString:
        for (u32 k = 0; k < n.b; k++) {
          if (p + k >= limit) return -1;
          u8 c = ignoreCase ? ToLower(At(p + k)) : At(p + k);
          if (c != static_cast<u8>(cp->pool[n.a + k])) return -1;
        }
        return n.b;
      case kNodeNewline:
        if (p >= limit) return -1;
        if (At(p) == '\r') return (p + 1 < limit && At(p + 1) == '\n') ? 2 : 1;
        if (At(p) == '\n' && !(p > 0 && At(p - 1) == '\r')) return 1;
        return -1;
      case kNodeBackRef: {
        const GroupRecord &r = g[n.a];
        u32 w = r.end - r.start;
        for (u32 k = 0; k < w; k++) {
          if (p + k >= limit) return -1;
          u8 x = At(r.start + k), y = At(p + k);
          if (ignoreCase ? ToLower(x) != ToLower(y) : x != y) return -1;
        }
        return w;
      }
    }
    return -1;
  }

  bool Tick() {
    if (++steps > stepLimit) gaveUp = true;
    return gaveUp;
  }

  bool M(u32 n, u32 p, Groups g, const Env &env) {
    if (Tick()) return false;
    if (n == 0) return (*env.end)(p, g);
    const PatternNode &nd = nodes[n];
    if (nd.alternative) {
      if (Node(n, p, g, env)) return true;
      return M(nd.alternative, p, g, env);
    }
    return Node(n, p, g, env);
  }

  bool Exit(u32 open, u32 p, Groups &g, const Env &env) {
    auto it = env.exits.find(open);
    if (it != env.exits.end()) return (*it->second)(p, g);
    return M(nodes[nodes[open].partner].next, p, g, env);
  }

  bool Iterate(u32 open, u32 p, Groups g, const Env &env) {
    const PatternNode &o = nodes[open];
    g[nodes[o.partner].a].tentative = p;
    return M(o.next, p, g, env);
  }

  bool Loop(u32 open, u32 p, Groups g, const Env &env) {
    const PatternNode &o = nodes[open];
    u32 c = g[nodes[o.partner].a].count;
    if (c >= static_cast<u32>(o.maxRepeat)) return Exit(open, p, g, env);
    if (c >= static_cast<u32>(o.minRepeat)) {
      if ((o.mode & kModeRepeatMask) == kModeLazy) {
        Groups h = g;
        return Exit(open, p, h, env) || Iterate(open, p, g, env);
      }
      Groups h = g;
      return Iterate(open, p, g, env) || Exit(open, p, h, env);
    }
    return Iterate(open, p, g, env);
  }

  // A look-around at p: whether it holds, with the groups it leaves.
  bool Look(u32 open, u32 p, Groups &g, const Env &env) {
    const PatternNode &o = nodes[open];
    Groups found;
    bool matched = false;
    if (o.mode & kModeLookAhead) {
      Cont take = [&](u32, Groups &h) {
        found = h;
        return true;
      };
      Env body{env.end, env.exits, contextEnd};
      body.exits[open] = &take;
      matched = M(o.next, p, g, body);
    } else {
      u32 reach = o.a + cp->scan.lookBehindReach;
      if (reach > kLengthUnbounded || reach < o.a) reach = kLengthUnbounded;
      if (o.b < reach) reach = o.b;
      Cont take = [&](u32 q, Groups &h) {
        if (q != p) return false;
        found = h;
        return true;
      };
      Env body{env.end, env.exits, p};
      body.exits[open] = &take;
      if (p >= contextStart && p - contextStart >= o.a) {
        u32 farthest = p - contextStart < reach ? contextStart : p - reach;
        for (u32 s = p - o.a;; s--) {
          if (M(o.next, s, g, body)) {
            matched = true;
            break;
          }
          if (s <= farthest) break;
        }
      }
    }
    if (o.mode & kModeNegative) return !matched;
    if (matched) g = found;
    return matched;
  }

  bool Node(u32 n, u32 p, Groups g, const Env &env) {
    const PatternNode &nd = nodes[n];
    if (nd.minRepeat > nd.maxRepeat) return false;
    const u32 min = static_cast<u32>(nd.minRepeat), max = static_cast<u32>(nd.maxRepeat);
    switch (nd.kind) {
      case kNodeEmpty:
        return M(nd.next, p, g, env);
      case kNodeOpen: {
        const PatternNode &cl = nodes[nd.partner];
        if (nd.mode & (kModeLookAhead | kModeLookBehind)) {
          if (max == 0) return M(cl.next, p, g, env);
          auto look = [&]() {
            Groups h = g;
            return Look(n, p, h, env) && M(cl.next, p, h, env);
          };
          if (min == 0) {
            if ((nd.mode & kModeRepeatMask) == kModeLazy) return M(cl.next, p, g, env) || look();
            return look() || M(cl.next, p, g, env);
          }
          return look();
        }
        if (nd.mode & kModeResetStart) {
          if (max != 0) {
            if (p < rangeStart || p > rangeEnd) return false;
            g[0].tentative = p;
          }
          return M(cl.next, p, g, env);
        }
        if (max == 0) return M(cl.next, p, g, env);
        g[cl.a].count = 0;
        g[cl.a].entry = n;
        if (nd.mode & kModePossessive) {
          Groups got;
          u32 at = 0;
          Cont take = [&](u32 q, Groups &h) {
            got = h;
            at = q;
            return true;
          };
          Env inner = env;
          inner.exits[n] = &take;
          if (!Loop(n, p, g, inner)) return false;
          return M(cl.next, at, got, env);
        }
        return Loop(n, p, g, env);
      }
      case kNodeClose: {
        const u32 open = nd.b;
        const PatternNode &o = nodes[open];
        if (o.mode & (kModeLookAhead | kModeLookBehind)) return (*env.exits.at(open))(p, g);
        GroupRecord &r = g[nd.a];
        bool empty = p == r.tentative;
        r.start = r.tentative <= p ? r.tentative : p;
        r.end = p;
        r.count++;
        if (empty && r.count >= static_cast<u32>(o.minRepeat)) return Exit(open, p, g, env);
        if (r.count >= static_cast<u32>(o.maxRepeat)) return Exit(open, p, g, env);
        return Loop(open, p, g, env);
      }
      case kNodeChar:
      case kNodeAny:
      case kNodeClass:
      case kNodeString:
      case kNodeNewline:
      case kNodeBackRef: {
        if (nd.kind == kNodeBackRef && g[nd.a].end == kNoPosition) {
          return min == 0 && M(nd.next, p, g, env);
        }
        std::vector<u32> ends{p};
        while (ends.size() - 1 < max) {
          long w = Unit(nd, ends.back(), g, env.limit);
          if (w < 0) break;
          if (w == 0) {  // empty units: any count is the same
            while (ends.size() - 1 < min) ends.push_back(ends.back());
            break;
          }
          ends.push_back(ends.back() + static_cast<u32>(w));
        }
        const u32 got = static_cast<u32>(ends.size() - 1);
        if (got < min) return false;
        const u8 mode = nd.mode & kModeRepeatMask;
        if (mode == (kModeGreedy | kModePossessive)) return M(nd.next, ends[got], g, env);
        if (mode == kModeLazy) {
          for (u32 k = min; k <= got; k++) {
            if (M(nd.next, ends[k], g, env)) return true;
          }
          return false;
        }
        for (u32 k = got + 1; k-- > min;) {
          if (M(nd.next, ends[k], g, env)) return true;
        }
        return false;
      }
      default:
        if (min == 0 || Assertion(nd.kind, p)) return M(nd.next, p, g, env);
        return false;
    }
  }
};

}  // namespace

Found ReferenceFind(const CompiledPattern *cp, const std::string &text, u32 from, u32 stopAt, u32 rangeEnd,
                    bool backward, bool rejectEmpty, unsigned long stepLimit, bool *complete) {
  Ref ref(cp, text);
  ref.length = static_cast<u32>(text.size());
  if (rangeEnd > ref.length) rangeEnd = ref.length;
  if (from > rangeEnd) from = rangeEnd;
  if (stopAt > rangeEnd) stopAt = rangeEnd;
  ref.rangeStart = from < stopAt ? from : stopAt;
  ref.rangeEnd = rangeEnd;
  ref.contextStart = 0;
  ref.contextEnd = (cp->flags & kPatternWholeContext) ? ref.length : rangeEnd;
  ref.ignoreCase = (cp->flags & kPatternIgnoreCase) != 0;
  ref.regExps = (cp->flags & kPatternRegExps) != 0;
  ref.steps = 0;
  ref.stepLimit = stepLimit;
  Found result;
  auto attempt = [&](u32 q) {
    Groups g(cp->groupCount, GroupRecord{kNoPosition, kNoPosition, kNoPosition, 0, 0});
    Groups won;
    Cont end = [&](u32, Groups &h) {
      if (rejectEmpty && q == from && h[0].start == h[0].end && h[0].end == q) return false;
      won = h;
      return true;
    };
    Env env{&end, {}, rangeEnd};
    if (!ref.Node(0, q, g, env)) return false;  // node 0 starts the pattern ("next" 0 ends it)
    result.found = true;
    result.at = q;
    for (int k = 0; k < 10; k++) {
      if (won[k].end == kNoPosition) {
        result.groups.push_back({-1, -1});
      } else {
        result.groups.push_back({static_cast<long>(won[k].start), static_cast<long>(won[k].end)});
      }
    }
    return true;
  };
  if (!backward) {
    for (u32 q = from; q <= stopAt && !ref.gaveUp; q++) {
      if (attempt(q)) break;
    }
  } else if (from >= stopAt) {
    for (u32 q = from; !ref.gaveUp; q--) {
      if (attempt(q)) break;
      if (q == stopAt) break;
    }
  }
  *complete = !ref.gaveUp;
  return result;
}
