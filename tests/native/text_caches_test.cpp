// URL recognition and the scanners of the view's lazy caches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/document.h"
#include "document/edit.h"
#include "document/position.h"
#include "document/range_set.h"
#include "foundation/char_class.h"
#include "foundation/fault.h"
#include "search/text_caches.h"
#include "search/url_scan.h"
#include "tests/support/document_support.h"

namespace {

// The URLs ScanUrls finds in a text (lower-cased here), as substrings.
std::vector<std::string> Urls(std::string text) {
  for (char &c : text) c = static_cast<char>(ToLower(static_cast<u8>(c)));
  std::vector<std::pair<u32, u32>> found;
  ScanUrls(
      reinterpret_cast<const u8 *>(text.data()), static_cast<u32>(text.size()),
      [](void *context, u32 start, u32 length) {
        static_cast<std::vector<std::pair<u32, u32>> *>(context)->push_back({start, length});
        return 0;
      },
      &found);
  std::vector<std::string> out;
  for (auto &f : found) out.push_back(text.substr(f.first, f.second));
  return out;
}

using V = std::vector<std::string>;

TEST(UrlScanTest, Forms) {
  EXPECT_EQ(Urls("see http://example.com/a/b?x=1&y=2#top now"), V{"http://example.com/a/b?x=1&y=2#top"});
  EXPECT_EQ(Urls("HTTPS://Example.COM/Path"), V{"https://example.com/path"});
  EXPECT_EQ(Urls("ftp://user:pw@host.org:21/dir/"), V{"ftp://user:pw@host.org:21/dir/"});
  EXPECT_EQ(Urls("file:///c:/temp/x.txt"), V{"file:///c:/temp/x.txt"});
  EXPECT_EQ(Urls("go to www.example.org today"), V{"www.example.org"});
  EXPECT_EQ(Urls("mail john.smith+tag@mail.example.com please"), V{"john.smith+tag@mail.example.com"});
  EXPECT_EQ(Urls("mailto:a@b.cz"), V{"mailto:a@b.cz"});
  EXPECT_EQ(Urls("news:comp.lang.c"), V{"news:comp.lang.c"});
  EXPECT_EQ(Urls("two: http://a.b and www.c.d"), (V{"http://a.b", "www.c.d"}));
  EXPECT_EQ(Urls("http://a.b/%20x%2Fy"), V{"http://a.b/%20x%2fy"});
}

TEST(UrlScanTest, TrailingPunctuationAndEnds) {
  EXPECT_EQ(Urls("(see http://example.com/x)."), V{"http://example.com/x"});
  EXPECT_EQ(Urls("Visit www.example.com."), V{"www.example.com"});
  EXPECT_EQ(Urls("is it http://a.b/c?"), V{"http://a.b/c"});
  EXPECT_EQ(Urls("'http://a.b/c'"), V{"http://a.b/c"});
  EXPECT_EQ(Urls("[http://a.b/c]"), V{"http://a.b/c"});
  EXPECT_EQ(Urls("http://a.b/c!;:,"), V{"http://a.b/c"});
  // A bad percent escape ends the URL before the percent sign.
  EXPECT_EQ(Urls("http://a.b/x%zz"), V{"http://a.b/x"});
  EXPECT_EQ(Urls("http://a.b/x%4"), V{"http://a.b/x"});
  // Bytes from 128 up end a URL.
  EXPECT_EQ(Urls("http://a.b/caf\xE9"), V{"http://a.b/caf"});
}

TEST(UrlScanTest, NotUrls) {
  EXPECT_EQ(Urls("http://"), V{});
  EXPECT_EQ(Urls("http:// x"), V{});
  EXPECT_EQ(Urls("www."), V{});
  EXPECT_EQ(Urls("awww.example.com"), V{});  // not at a word start
  EXPECT_EQ(Urls("x_http://a.b"), V{});  // not at a word start
  EXPECT_EQ(Urls("user@localhost"), V{});  // a mail host needs a dot
  EXPECT_EQ(Urls("@example.com"), V{});
  EXPECT_EQ(Urls("a.b.c.d.e"), V{});
  EXPECT_EQ(Urls("3.14 + 2.71"), V{});
  EXPECT_EQ(Urls(""), V{});
  EXPECT_EQ(Urls("averyveryveryveryveryverylongschemename0123456789://x.y"), V{});
}

TEST(UrlScanTest, LongRunsStayLinear) {
  // A line of dotted words with no URL; and one huge URL.
  std::string dotted;
  for (int i = 0; i < 200000; i++) dotted += "a.";
  EXPECT_EQ(Urls(dotted), V{});
  std::string huge = "http://x.y/" + std::string(300000, 'q');
  ASSERT_EQ(Urls(huge).size(), 1u);
  EXPECT_EQ(Urls(huge)[0].size(), huge.size());
}

struct DocFixture {
  Document *doc = CreateDocument();
  explicit DocFixture(const std::string &text) {
    EXPECT_EQ(InsertText(&doc->store, 0, text.data(), static_cast<u32>(text.size()), 0), 0);
    doc->store.rangeSets[kSetLinks].maintained = 1;
  }
  ~DocFixture() { DestroyDocument(doc); }
};

std::vector<std::string> CachedLinks(Document *doc, const RangeSet *set) {
  std::vector<std::string> out;
  std::string text = DocText(doc);
  for (const Range *r = RangeAt(set, 0); r; r = RangeNext(set, r)) out.push_back(text.substr(RangeAbsStart(set, r), r->length));
  return out;
}

TEST(LinkCacheTest, ScanAcrossWindowsMatchesWholeScan) {
  // URLs placed around the 256 KiB window edges of one long line.
  std::string text;
  std::vector<std::string> expected;
  for (int k = 0; k < 6; k++) {
    size_t edge = (k + 1) * 256 * 1024;
    while (text.size() + 10 < edge) text += "lorem ip ";
    std::string url = "http://host" + std::to_string(k) + ".org/" + std::string(k * 7 + 3, 'p');
    text += " " + url + " ";
    expected.push_back(url);
  }
  DocFixture f(text);
  RangeSet found = {};
  ASSERT_EQ(ScanLinks(f.doc, 0, f.doc->store.length, &found), 0);
  EXPECT_EQ(CachedLinks(f.doc, &found), expected);
  RangeSetClear(&found);
  // A URL of a whole window with no blank in sight is cut at 64 KiB at worst
  // but never lost.
  std::string solid = "http://h.org/" + std::string(700 * 1024, 'z');
  DocFixture g(solid);
  ASSERT_EQ(ScanLinks(g.doc, 0, g.doc->store.length, &found), 0);
  std::vector<std::string> links = CachedLinks(g.doc, &found);
  ASSERT_FALSE(links.empty());
  EXPECT_EQ(links[0].substr(0, 13), "http://h.org/");
  RangeSetClear(&found);
}

TEST(LinkCacheTest, EditInsideUrlRescansOnlyItsLine) {
  DocFixture f("a http://one.org b\r\nc www.two.org d\r\n");
  Document *doc = f.doc;
  doc->store.rangeSets[kSetLinksScanned].maintained = 1;
  ASSERT_EQ(EnsureScanned(doc, kSetLinks, kSetLinksScanned, 0, 1, 0, LinkScanner()), 1);
  EXPECT_EQ(CachedLinks(doc, &doc->store.rangeSets[kSetLinks]), (V{"http://one.org", "www.two.org"}));
  ASSERT_EQ(EnsureScanned(doc, kSetLinks, kSetLinksScanned, 0, 1, 0, LinkScanner()), 0) << "nothing to rebuild";
  // Typing inside the second URL removes it and its line's coverage.
  u32 at = static_cast<u32>(DocText(doc).find("two"));
  ASSERT_EQ(InsertText(&doc->store, at, "x", 1, 0), 0);
  EXPECT_EQ(CachedLinks(doc, &doc->store.rangeSets[kSetLinks]), V{"http://one.org"});
  ASSERT_EQ(EnsureScanned(doc, kSetLinks, kSetLinksScanned, 0, 1, 0, LinkScanner()), 1);
  EXPECT_EQ(CachedLinks(doc, &doc->store.rangeSets[kSetLinks]), (V{"http://one.org", "www.xtwo.org"}));
}

TEST(LinkCacheTest, LinkAtAnswersWithoutTheCache) {
  DocFixture f("x (http://a.b/c). y");
  u32 start = 0, length = 0;
  ASSERT_TRUE(LinkAt(f.doc, 5, &start, &length));
  EXPECT_EQ(start, 3u);
  EXPECT_EQ(length, 12u);
  EXPECT_FALSE(LinkAt(f.doc, 15, &start, &length)) << "the closing parenthesis is not part of it";
  EXPECT_FALSE(LinkAt(f.doc, 0, &start, &length));
}

TEST(LinkCacheTest, MemoryFailureKeepsTheSetsUsable) {
  DocFixture f("a http://one.org b http://two.org c\nwww.three.org\n");
  Document *doc = f.doc;
  doc->store.rangeSets[kSetLinksScanned].maintained = 1;
  for (u32 n = 1;; n++) {
    RangeSetClear(&doc->store.rangeSets[kSetLinks]);
    RangeSetClear(&doc->store.rangeSets[kSetLinksScanned]);
    FaultInjector fi;
    FaultReset(&fi);
    FaultPlan(&fi, kFaultAlloc, n, false);
    int r;
    {
      ScopedFaultInjector scope(&fi);
      r = EnsureScanned(doc, kSetLinks, kSetLinksScanned, 0, 2, 0, LinkScanner());
    }
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_EQ(r, 1);
      break;
    }
    EXPECT_EQ(r, -1);
    // A later paint finishes the job.
    EXPECT_GE(EnsureScanned(doc, kSetLinks, kSetLinksScanned, 0, 2, 0, LinkScanner()), 0);
    EXPECT_EQ(CachedLinks(doc, &doc->store.rangeSets[kSetLinks]), (V{"http://one.org", "http://two.org", "www.three.org"}))
        << "after failing allocation " << n;
  }
}

// The occurrences a simple model finds: left to right, not overlapping,
// starting in [from, to).
std::vector<u32> ModelOccurrences(const std::string &text, const std::string &pattern, bool matchCase, u32 from, u32 to) {
  std::vector<u32> out;
  auto lower = [](std::string s) {
    for (char &c : s) c = static_cast<char>(ToLower(static_cast<u8>(c)));
    return s;
  };
  std::string t = matchCase ? text : lower(text), p = matchCase ? pattern : lower(pattern);
  for (size_t i = from; i < to && i + p.size() <= t.size();) {
    if (t.compare(i, p.size(), p) == 0) {
      out.push_back(static_cast<u32>(i));
      i += p.size();
    } else {
      i++;
    }
  }
  return out;
}

TEST(OccurrenceCacheTest, MatchesModelOnRandomTexts) {
  TestRandom rng(77);
  const char alphabet[] = "aAbB\r\n ";
  for (int round = 0; round < 300; round++) {
    std::string text;
    size_t n = rng.Below(round < 280 ? 400 : 600000);
    for (size_t i = 0; i < n; i++) text += alphabet[rng.Below(sizeof alphabet - 1)];
    std::string pattern;
    size_t m = 1 + rng.Below(4);
    for (size_t i = 0; i < m; i++) pattern += alphabet[rng.Below(4)];
    if (rng.OneIn(5)) pattern += "\r\n";
    const bool matchCase = rng.OneIn(2);
    std::string stored = pattern;
    if (!matchCase) for (char &c : stored) c = static_cast<char>(ToLower(static_cast<u8>(c)));
    DocFixture f(text);
    u32 from = n ? rng.Below(static_cast<unsigned>(n)) : 0;
    u32 to = from + rng.Below(static_cast<unsigned>(n - from + 1));
    RangeSet found = {};
    OccurrenceText occ = {stored.data(), static_cast<u32>(stored.size()), matchCase};
    ASSERT_EQ(ScanOccurrences(f.doc, from, to, occ, &found), 0);
    std::vector<u32> starts;
    for (const Range *r = RangeAt(&found, 0); r; r = RangeNext(&found, r)) {
      starts.push_back(RangeAbsStart(&found, r));
      EXPECT_EQ(r->length, stored.size());
    }
    ASSERT_EQ(starts, ModelOccurrences(text, pattern, matchCase, from, to)) << "round " << round;
    RangeSetClear(&found);
  }
}

}  // namespace
