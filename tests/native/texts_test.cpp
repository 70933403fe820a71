#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "foundation/fault.h"
#include "foundation/texts.h"

namespace {

// Restores the texts the test runner loaded.
class TextsTest : public testing::Test {
 protected:
  ~TextsTest() override { EXPECT_EQ(LoadTexts(&kBuiltinTextLoader), 0); }
};

TEST_F(TextsTest, SlotsAnswerWithTheirTexts) {
  ASSERT_EQ(LoadTexts(&kBuiltinTextLoader), 0);
  EXPECT_STREQ(Text(TXT_OUT_OF_MEMORY), "Out of Memory!");
  EXPECT_STREQ(Text(TXT_REVERT), "Do you realy want to revert the document? All changes will be lost!");
  EXPECT_STREQ(Text(TXT_PRODUCT), "Quillpad");
  EXPECT_STREQ(Text(TXT_PAGE_SETTINGS), "Settings");
  EXPECT_EQ(TextId(TXT_OUT_OF_MEMORY), 513);
  EXPECT_EQ(TextId(TXT_PRODUCT), 0);
  EXPECT_EQ(TextSlotOfId(567), TXT_UNKNOWN_OPTION);
  EXPECT_EQ(TextSlotOfId(1), -1);
  for (int i = 0; i < kTextSlotCount; i++) EXPECT_STRNE(Text(static_cast<TextSlot>(i)), "") << "slot " << i;
  EXPECT_STREQ(Text(static_cast<TextSlot>(kTextSlotCount)), "");
}

TEST_F(TextsTest, EveryStringTableIdIsUnique) {
  u32 count = 0;
  const BuiltinString *all = BuiltinStrings(&count);
  std::set<u16> ids;
  for (u32 i = 0; i < count; i++) EXPECT_TRUE(ids.insert(all[i].id).second) << "duplicate id " << all[i].id;
}

struct BigLoader {
  size_t length;
  static int Load(void *context, u16 id, char *buf, int cap) {
    size_t n = static_cast<BigLoader *>(context)->length;
    if (id == 513) n = 5;  // one short text
    std::string text(n, 'x');
    int copied = static_cast<int>(std::min(n, static_cast<size_t>(cap - 1)));
    memcpy(buf, text.data(), static_cast<size_t>(copied));
    buf[copied] = 0;
    return copied;
  }
};

TEST_F(TextsTest, TextsThatDoNotFitThePoolReadAsEmpty) {
  BigLoader big = {5000};
  TextLoader loader = {BigLoader::Load, &big};
  ASSERT_EQ(LoadTexts(&loader), 0);
  // 5001 bytes each: three fit in 16384, the rest do not; short ones still do.
  int full = 0, empty = 0;
  size_t pooled = 0;
  for (int i = 0; i < kTextSlotCount; i++) {
    if (!TextId(static_cast<TextSlot>(i))) continue;
    size_t n = strlen(Text(static_cast<TextSlot>(i)));
    EXPECT_TRUE(n == 0 || n == 5000 || n == 5) << i;
    if (n == 5000) full++;
    if (n == 0) empty++;
    if (n) pooled += n + 1;
  }
  EXPECT_EQ(full, 3);
  EXPECT_GT(empty, 0);
  EXPECT_LE(pooled, static_cast<size_t>(kTextPoolBytes));
  EXPECT_STREQ(Text(TXT_OUT_OF_MEMORY), "xxxxx");
  EXPECT_STREQ(Text(TXT_PRODUCT), "Quillpad");  // literals are not pooled
}

TEST_F(TextsTest, MissingTextsReadAsEmpty) {
  TextLoader nothing = {[](void *, u16, char *buf, int) {
                          buf[0] = 0;
                          return 0;
                        },
                        nullptr};
  ASSERT_EQ(LoadTexts(&nothing), 0);
  EXPECT_STREQ(Text(TXT_OUT_OF_MEMORY), "");
  EXPECT_STREQ(Text(TXT_UNTITLED), "Untitled");
}

TEST_F(TextsTest, PoolAllocationFailureIsReported) {
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultAlloc, 1, false);
  ScopedFaultInjector scope(&fi);
  EXPECT_EQ(LoadTexts(&kBuiltinTextLoader), -1);
  EXPECT_STREQ(Text(TXT_OUT_OF_MEMORY), "");
  EXPECT_STREQ(Text(TXT_PRODUCT), "Quillpad");
}

}  // namespace
