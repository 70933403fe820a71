#include "tools/columns.h"

#include "foundation/bytes.h"
#include "foundation/char_class.h"

namespace {

// The length of the delimiter at line[i] (0: none there). A lead byte of a
// double-byte character and its trail byte are never delimiters.
inline u32 DelimiterAt(const char *line, u32 i, u32 length, const PreparedColumn &s) {
  if (s.def.CDs) {
    const u32 n = s.phraseLength;
    if (n == 0 || n > length - i) return 0;
    return MemCompare(line + i, s.def.CD, n) == 0 ? n : 0;
  }
  return s.delimiter[static_cast<u8>(line[i])] ? 1 : 0;
}

inline u32 Step(const char *line, u32 i, u32 length) {
  return (IsLeadByte(static_cast<u8>(line[i])) && i + 1 < length) ? 2 : 1;
}

// Calls found(columnIndex, columnStart, columnEnd) for each column in order
// until it returns false; returns the number of columns visited.
template <class Found>
u32 WalkColumns(const char *line, u32 length, const PreparedColumn &s, Found found) {
  const bool dbcs = AnyLeadBytes();
  if (!s.def.CDs && !dbcs) {
    // Delimiter characters in single-byte text: one table look-up a byte.
    const u8 *t = reinterpret_cast<const u8 *>(line);
    const u8 *table = s.delimiter;
    u32 index = 0, begin = 0, i = 0;
    for (;;) {
      while (i < length && !table[t[i]]) i++;
      if (i >= length) break;
      const u32 end = i++;
      if (s.def.CDc)
        while (i < length && table[t[i]]) i++;
      if (!found(index, begin, end)) return index + 1;
      index++;
      begin = i;
    }
    found(index, begin, length);
    return index + 1;
  }
  u32 index = 0, begin = 0, i = 0;
  while (i < length) {
    u32 d = DelimiterAt(line, i, length, s);
    if (d == 0) {
      i += dbcs ? Step(line, i, length) : 1;
      continue;
    }
    const u32 end = i;
    i += d;
    if (s.def.CDc)
      while (i < length && (d = DelimiterAt(line, i, length, s)) != 0) i += d;
    if (!found(index, begin, end)) return index + 1;
    index++;
    begin = i;
  }
  found(index, begin, length);
  return index + 1;
}

// Positions from..to of the field [s, s + n) (counted from its end with
// RRl), or the whole field without them.
void Positions(const ColumnDef &d, u32 s, u32 n, u32 *start, u32 *count) {
  if (d.RC) {
    const i64 from = static_cast<i64>(d.RFr) - 1, to = static_cast<i64>(d.RTo) - 1;
    if (from < 0 || to < 0) {
      *start = 0;
      *count = 0;
      return;
    }
    if (from > to || from >= n) {
      *start = s;
      *count = 0;
      return;
    }
    const u32 f = static_cast<u32>(from), t = to >= n ? n - 1 : static_cast<u32>(to);
    if (d.RRl) {
      *start = s + (n - 1 - t);
      *count = t - f + 1;
    } else {
      *start = s + f;
      *count = t - f + 1;
    }
    return;
  }
  *start = s;
  *count = n;
}

}  // namespace

void PrepareColumn(const ColumnDef &def, bool swapReversed, PreparedColumn *prep) {
  prep->def = def;
  prep->def.CD[sizeof prep->def.CD - 1] = 0;
  MemZero(prep->delimiter, sizeof prep->delimiter);
  prep->phraseLength = static_cast<u32>(StrLen(prep->def.CD));
  for (u32 i = 0; i < prep->phraseLength; i++) prep->delimiter[static_cast<u8>(prep->def.CD[i])] = 1;
  if (swapReversed) {
    ColumnDef &d = prep->def;
    if (d.CFr > d.CTo) {
      const i32 t = d.CFr;
      d.CFr = d.CTo;
      d.CTo = t;
    }
    if (d.RFr > d.RTo) {
      const i32 t = d.RFr;
      d.RFr = d.RTo;
      d.RTo = t;
    }
  }
}

void ExtractColumn(const char *line, u32 length, const PreparedColumn &prep, u32 *start, u32 *count) {
  const ColumnDef &d = prep.def;
  u32 s = 0, n = length;
  if (d.CC == kColumnNothing) {
    *start = 0;
    *count = 0;
    return;
  }
  if (d.CC == kColumnColumns) {
    // 0-based from here on; a column 0 or below selects nothing.
    const i64 from = static_cast<i64>(d.CFr) - 1, to = static_cast<i64>(d.CTo) - 1;
    if (from < 0 || to < 0 || from > to) {
      *start = 0;
      *count = 0;
      return;
    }
    i64 first = from, last = to;
    if (d.CRl) {
      const u32 columns = WalkColumns(line, length, prep, [](u32, u32, u32) { return true; });
      if (from >= columns) {
        *start = 0;
        *count = 0;
        return;
      }
      first = static_cast<i64>(columns) - 1 - to;
      last = static_cast<i64>(columns) - 1 - from;
      if (first < 0) first = 0;
    }
    bool found = false;
    u32 fieldStart = 0, fieldEnd = length;
    WalkColumns(line, length, prep, [&](u32 index, u32 b, u32 e) {
      if (index == first) fieldStart = b, found = true;
      fieldEnd = e;
      return index < last;
    });
    if (!found) {
      *start = 0;
      *count = 0;
      return;
    }
    s = fieldStart;
    n = fieldEnd - fieldStart;
  }
  Positions(d, s, n, start, count);
}

// ---- several definitions over the same lines ----

namespace {

// A definition whose columns a shared walk can give: counted from the
// left, from..to within the recorded columns.
bool Shareable(const ColumnDef &d) {
  return d.CC == kColumnColumns && !d.CRl && d.CFr >= 1 && d.CFr <= d.CTo &&
         d.CTo <= static_cast<i32>(kSharedColumns);
}

// Whether two definitions cut every line into the same columns.
bool SameWalk(const PreparedColumn &a, const PreparedColumn &b) {
  if ((a.def.CDs != 0) != (b.def.CDs != 0) || (a.def.CDc != 0) != (b.def.CDc != 0)) return false;
  if (a.def.CDs) return a.phraseLength == b.phraseLength && MemCompare(a.def.CD, b.def.CD, a.phraseLength) == 0;
  return MemCompare(a.delimiter, b.delimiter, sizeof a.delimiter) == 0;
}

}  // namespace

void PrepareColumnSet(const PreparedColumn *const *preps, u32 count, ColumnSet *set) {
  set->count = count;
  for (u32 i = 0; i < count; i++) {
    set->prep[i] = preps[i];
    set->leader[i] = -1;
    set->limit[i] = 0;
    if (!Shareable(preps[i]->def)) continue;
    for (u32 j = 0; j < i; j++) {
      if (set->leader[j] == static_cast<i8>(j) && SameWalk(*preps[j], *preps[i])) {
        set->leader[i] = static_cast<i8>(j);
        break;
      }
    }
    if (set->leader[i] < 0) set->leader[i] = static_cast<i8>(i);
    u32 &limit = set->limit[set->leader[i]];
    if (static_cast<u32>(preps[i]->def.CTo) > limit) limit = static_cast<u32>(preps[i]->def.CTo);
  }
}

void ExtractColumns(const char *line, u32 length, const ColumnSet &set, u32 *start, u32 *count) {
  u32 begin[kSharedColumns], end[kSharedColumns];
  for (u32 i = 0; i < set.count; i++) {
    const i8 leader = set.leader[i];
    if (leader < 0) {
      ExtractColumn(line, length, *set.prep[i], &start[i], &count[i]);
      continue;
    }
    if (leader != static_cast<i8>(i)) continue;  // done with its leader
    const u32 limit = set.limit[i];
    const u32 columns = WalkColumns(line, length, *set.prep[i], [&](u32 index, u32 b, u32 e) {
      begin[index] = b;
      end[index] = e;
      return index + 1 < limit;
    });
    // The leader and the definitions after it that share its walk.
    for (u32 k = i; k < set.count; k++) {
      if (set.leader[k] != leader) continue;
      const ColumnDef &d = set.prep[k]->def;
      const u32 from = static_cast<u32>(d.CFr) - 1, to = static_cast<u32>(d.CTo) - 1;
      if (from >= columns) {
        start[k] = count[k] = 0;  // fewer columns than from
        continue;
      }
      const u32 last = to < columns ? to : columns - 1;
      Positions(d, begin[from], end[last] - begin[from], &start[k], &count[k]);
    }
  }
}
