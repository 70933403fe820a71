#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "config/ini_file.h"
#include "foundation/fault.h"
#include "tests/support/test_files.h"

namespace {

const std::string kUtf8Bom = "\xEF\xBB\xBF";

class Ini {
 public:
  Ini() { EXPECT_EQ(IniInit(&ini_), 0); }
  ~Ini() { IniFree(&ini_); }
  int Parse(const std::string &bytes) { return IniParse(&ini_, bytes.data(), bytes.size()); }
  std::string Value(const char *section, const char *key) {
    int s = IniFindSection(&ini_, section);
    if (s < 0) return "<no section>";
    IniEntry *e = IniFind(&ini_, s, key);
    return e ? std::string(e->value, e->valueLength) : "<no key>";
  }
  std::string Bytes() {
    ByteBuffer out = {};
    EXPECT_EQ(IniSerialize(&ini_, &out), 0);
    std::string s(out.data ? out.data : "", out.length);
    BufferFree(&out);
    return s;
  }
  IniFile *operator->() { return &ini_; }
  IniFile *get() { return &ini_; }

 private:
  IniFile ini_;
};

TEST(IniFile, NeedsAByteOrderMarkButAcceptsAnEmptyFile) {
  Ini a, b, c, d;
  EXPECT_EQ(a.Parse("[Setts]\nTab=4\n"), 48);
  EXPECT_EQ(b.Parse(""), 96);
  EXPECT_EQ(c.Parse(kUtf8Bom), 0);
  EXPECT_EQ(d.Parse("\xFF\xFE"), 0);
  EXPECT_TRUE(d->utf16);
  EXPECT_FALSE(c->utf16);
}

TEST(IniFile, LinesSectionsCommentsAndKeys) {
  Ini ini;
  ASSERT_EQ(ini.Parse(kUtf8Bom +
                      "top=1\r\n"
                      "  ; a comment\r"
                      "\t[Recent\\Tx]\n"
                      " spaced key =  value with spaces \n"
                      "novalue\n"
                      "a=b=c\n"
                      "[Open\n"
                      "k=v\n"),
            0);
  EXPECT_EQ(ini.Value("", "top"), "1");
  // Leading blanks of a line are skipped; the rest of the key is kept as is.
  EXPECT_EQ(ini.Value("Recent\\Tx", "spaced key "), "  value with spaces ");
  EXPECT_EQ(ini.Value("Recent\\Tx", "novalue"), "");
  EXPECT_EQ(ini.Value("Recent\\Tx", "a"), "b=c");
  EXPECT_EQ(ini.Value("Open", "k"), "v");  // a section without "]" runs to the end of its line
  EXPECT_EQ(ini.Value("recent\\tx", "a"), "<no section>");  // names are case-sensitive
  EXPECT_EQ(ini.Value("", "TOP"), "<no key>");
  // The comment is kept in the head section, after "top".
  IniSection *head = IniSectionAt(ini.get(), 0);
  ASSERT_EQ(head->entries.count, 2u);
  IniEntry *comment = static_cast<IniEntry *>(head->entries.entries) + 1;
  EXPECT_EQ(comment->key, nullptr);
  EXPECT_STREQ(comment->value, " a comment");
}

TEST(IniFile, EscapesInValues) {
  Ini ini;
  ASSERT_EQ(ini.Parse(kUtf8Bom + "[S]\nv=a\\nb\\rc\\0d\\\\e\\tf\\\n"), 0);
  EXPECT_EQ(ini.Value("S", "v"), std::string("a\nb\rc\0d\\e\\tf\\", 13));
  // Written back escaped, read back the same.
  Ini again;
  ASSERT_EQ(again.Parse(ini.Bytes()), 0);
  EXPECT_EQ(again.Value("S", "v"), ini.Value("S", "v"));
}

TEST(IniFile, WritesTheCanonicalForm) {
  Ini ini;
  ASSERT_EQ(ini.Parse(kUtf8Bom + ";head\n[Empty]\n[Save]\nSave=1\n[Opts]\nODO=5\n;note\n"), 0);
  EXPECT_EQ(ini.Bytes(), kUtf8Bom + ";head\n\n[Save]\nSave=1\n\n[Opts]\nODO=5\n;note\n");
  Ini none;
  EXPECT_EQ(none.Bytes(), kUtf8Bom);
}

TEST(IniFile, DuplicateSectionsGatherAndTheFirstKeyWins) {
  Ini ini;
  ASSERT_EQ(ini.Parse(kUtf8Bom + "[A]\nk=1\nk=2\n[B]\nx=0\n[A]\nj=3\n"), 0);
  EXPECT_EQ(ini.Value("A", "k"), "1");
  EXPECT_EQ(ini.Value("A", "j"), "3");
  ASSERT_EQ(IniSet(ini.get(), IniFindSection(ini.get(), "A"), "k", "9", 1), 0);
  EXPECT_EQ(ini.Value("A", "k"), "9");
}

// Lookups start where the last one ended: in any order, with twins from the
// file (the first counts) and keys set afterwards, they find what a search
// from the top finds.
TEST(IniFile, LookupsInAnyOrderFindTheFirstKey) {
  std::mt19937 rng(77);
  for (int round = 0; round < 40; round++) {
    const int keys = 1 + static_cast<int>(rng() % 60);
    std::string file = kUtf8Bom + "[S]\n";
    std::map<std::string, std::string> first;
    for (int i = 0; i < keys + keys / 4; i++) {
      const std::string key = "k" + std::to_string(i < keys || round % 2 ? i : rng() % keys);
      const std::string value = std::to_string(rng());
      file += key + "=" + value + "\n";
      first.emplace(key, value);  // a twin leaves the first in place
    }
    Ini ini;
    ASSERT_EQ(ini.Parse(file), 0);
    for (int step = 0; step < 300; step++) {
      const int k = step % 3 ? step % (keys + 8) : static_cast<int>(rng() % (keys + 8));
      const std::string key = "k" + std::to_string(k);
      if (rng() % 8 == 0) {
        const std::string value = std::to_string(rng());
        ASSERT_EQ(IniSet(ini.get(), IniFindSection(ini.get(), "S"), key.c_str(), value.c_str(), static_cast<u32>(value.size())), 0);
        first[key] = value;
      }
      const auto it = first.find(key);
      ASSERT_EQ(ini.Value("S", key.c_str()), it == first.end() ? "<no key>" : it->second) << round << " " << key;
    }
  }
}

TEST(IniFile, SetAppendsAndKeepsEqualValues) {
  Ini ini;
  ASSERT_EQ(ini.Parse(kUtf8Bom + "[A]\nk=1\n"), 0);
  int a = IniFindSection(ini.get(), "A");
  IniEntry *before = IniFind(ini.get(), a, "k");
  char *value = before->value;
  ASSERT_EQ(IniSet(ini.get(), a, "k", "1", 1), 0);
  EXPECT_EQ(IniFind(ini.get(), a, "k")->value, value);  // untouched
  ASSERT_EQ(IniSet(ini.get(), a, "new", "x", 1), 0);
  int b = IniAddSection(ini.get(), "B");
  ASSERT_GT(b, a);
  ASSERT_EQ(IniSet(ini.get(), b, "z", "", 0), 0);
  EXPECT_EQ(ini.Bytes(), kUtf8Bom + "\n[A]\nk=1\nnew=x\n\n[B]\nz=\n");
}

TEST(IniFile, CodePagesAndUtf16) {
  // e-acute is one byte in code page 1252 and two in UTF-8.
  Ini utf8;
  ASSERT_EQ(utf8.Parse(kUtf8Bom + "[S]\nk=caf\xC3\xA9\n"), 0);
  EXPECT_EQ(utf8.Value("S", "k"), "caf\xE9");
  EXPECT_EQ(utf8.Bytes(), kUtf8Bom + "\n[S]\nk=caf\xC3\xA9\n");

  std::string wide = "\xFF\xFE";
  for (char c : std::string("[S]\nk=caf")) wide += std::string(1, c) + '\0';
  wide += std::string("\xE9\0", 2);
  wide += std::string("\n\0", 2);
  Ini utf16;
  ASSERT_EQ(utf16.Parse(wide), 0);
  EXPECT_EQ(utf16.Value("S", "k"), "caf\xE9");
  EXPECT_EQ(utf16.Bytes(), "\xFF\xFE" + std::string("\n\0", 2) + wide.substr(2));

  // A last odd byte is half a character: dropped, the rest is read.
  Ini truncated;
  ASSERT_EQ(truncated.Parse(wide + "x"), 0);
  EXPECT_EQ(truncated.Value("S", "k"), "caf\xE9");
}

// Random values (runs of ASCII, accented letters, NUL, CR, LF, backslash)
// written in UTF-8 and in UTF-16 and read back: the same bytes; the UTF-8
// file holds each accented letter as two bytes.
TEST(IniFile, RandomValuesRoundTripInBothEncodings) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; round++) {
    std::string value;
    const int n = static_cast<int>(rng() % 300);
    for (int i = 0; i < n; i++) {
      const unsigned kind = rng() % 10;
      value += kind < 6 ? static_cast<char>(' ' + rng() % 95)
               : kind < 8 ? static_cast<char>(0xC0 + rng() % 64)
                          : "\0\r\n\\"[rng() % 4];
    }
    for (const std::string &bom : {kUtf8Bom, std::string("\xFF\xFE")}) {
      Ini empty;
      ASSERT_EQ(empty.Parse(bom), 0);
      ASSERT_EQ(IniSet(empty.get(), 0, "k", value.data(), static_cast<u32>(value.size())), 0);
      Ini back;
      ASSERT_EQ(back.Parse(empty.Bytes()), 0) << round;
      ASSERT_EQ(back.Value("", "k"), value) << round;
    }
  }
}

TEST(IniFile, LongLines) {
  std::string big(10 << 20, 'v');
  Ini ini;
  ASSERT_EQ(ini.Parse(kUtf8Bom + "[S]\nbig=" + big + "\nafter=1\n"), 0);
  EXPECT_EQ(ini.Value("S", "big").size(), big.size());
  EXPECT_EQ(ini.Value("S", "after"), "1");
}

TEST(IniFile, ParseFaultLoopLeaksNothing) {
  const std::string text = kUtf8Bom + ";c\n[A]\nk=1\n[B\\C]\nv=x\\ny\nw\n";
  for (u32 n = 1;; n++) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    int r;
    {
      Ini ini;
      {
        ScopedFaultInjector scope(&fi);
        r = ini.Parse(text);
      }
      if (r == 0) EXPECT_EQ(ini.Value("B\\C", "v"), "x\ny");
    }
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_EQ(r, 0);
      break;
    }
    EXPECT_TRUE(r == -1 || r == 0) << n;
  }
}

TEST(IniFile, LoadAndSaveFiles) {
  TempFolder dir;
  std::string path = dir.File("QuilPad.ini");
  {
    Ini ini;
    EXPECT_EQ(IniLoad(ini.get(), path.c_str(), true), 64);
  }
  ASSERT_TRUE(WriteBytes(path, kUtf8Bom + "[S]\nk=1\n"));
  Ini ini;
  ASSERT_EQ(IniLoad(ini.get(), path.c_str(), true), 0);
  ASSERT_EQ(IniSet(ini.get(), IniFindSection(ini.get(), "S"), "k", "2", 1), 0);
  ASSERT_EQ(IniSave(ini.get(), path.c_str()), 0);
  EXPECT_EQ(ReadBytes(path), kUtf8Bom + "\n[S]\nk=2\n");
}

TEST(IniFile, FailedRewritePutsTheOldBytesBack) {
  TempFolder dir;
  std::string path = dir.File("QuilPad.ini");
  const std::string original = kUtf8Bom + "[S]\nk=1\n";
  ASSERT_TRUE(WriteBytes(path, original));
  Ini ini;
  ASSERT_EQ(IniLoad(ini.get(), path.c_str(), true), 0);
  ASSERT_EQ(IniSet(ini.get(), IniFindSection(ini.get(), "S"), "k", "2", 1), 0);
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultWrite, 1, false);
  {
    ScopedFaultInjector scope(&fi);
    EXPECT_EQ(IniSave(ini.get(), path.c_str()), 48);
  }
  EXPECT_EQ(ReadBytes(path), original);
  // A file that cannot be opened is left alone.
  FaultInjector open = {};
  FaultPlan(&open, kFaultOpen, 1, true);
  {
    ScopedFaultInjector scope(&open);
    EXPECT_EQ(IniSave(ini.get(), path.c_str()), 48);
  }
  EXPECT_EQ(ReadBytes(path), original);
}

}  // namespace
