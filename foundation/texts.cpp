#include "foundation/texts.h"

#include "foundation/bytes.h"
#include "foundation/memory.h"

namespace {

struct SlotDef {
  u16 id;
  u16 flag;  // nonzero: a built-in literal
  const char *literal;
};

const SlotDef kSlots[] = {
#define QP_STRING(slot, id, text) {id, 0, nullptr},
#define QP_LITERAL(slot, text) {0, 1, text},
#define QP_HELP(id, text)
#include "resources/strings.def"
#undef QP_STRING
#undef QP_LITERAL
#undef QP_HELP
};
static_assert(QP_ARRAY_COUNT(kSlots) == kTextSlotCount, "one definition per slot");

const BuiltinString kBuiltin[] = {
#define QP_STRING(slot, id, text) {id, text},
#define QP_LITERAL(slot, text)
#define QP_HELP(id, text) {id, text},
#include "resources/strings.def"
#undef QP_STRING
#undef QP_LITERAL
#undef QP_HELP
};

char *g_pool;
const char *g_slots[kTextSlotCount];

int LoadBuiltin(void *, u16 id, char *buf, int cap) {
  for (const BuiltinString &s : kBuiltin) {
    if (s.id == id) return static_cast<int>(StrCopyN(buf, s.text, static_cast<size_t>(cap)) - buf);
  }
  if (cap > 0) buf[0] = 0;
  return 0;
}

}  // namespace

const TextLoader kBuiltinTextLoader = {LoadBuiltin, nullptr};

int LoadTexts(const TextLoader *loader) {
  FreeTexts();
  char *pool = static_cast<char *>(Allocate(kTextPoolBytes));
  if (!pool) return -1;
  g_pool = pool;
  u32 used = 0;
  for (int i = 0; i < kTextSlotCount; i++) {
    const SlotDef &def = kSlots[i];
    if (def.flag) {
      g_slots[i] = def.literal;
      continue;
    }
    g_slots[i] = "";
    u32 room = kTextPoolBytes - used;
    if (room < 2) continue;
    int len = loader->load(loader->context, def.id, pool + used, static_cast<int>(room));
    // A text that filled what was left may have been cut: it does not fit.
    if (len <= 0 || static_cast<u32>(len) >= room - 1) continue;
    g_slots[i] = pool + used;
    used += static_cast<u32>(len) + 1;
  }
  return 0;
}

void FreeTexts() {
  for (const char *&s : g_slots) s = nullptr;
  Free(g_pool);
  g_pool = nullptr;
}

const char *Text(TextSlot slot) {
  if (slot < 0 || slot >= kTextSlotCount) return "";
  const char *s = g_slots[slot];
  if (s) return s;
  // Before LoadTexts (or after a failed one) the literals still answer.
  return kSlots[slot].flag ? kSlots[slot].literal : "";
}

u16 TextId(TextSlot slot) { return slot >= 0 && slot < kTextSlotCount ? kSlots[slot].id : 0; }

int TextSlotOfId(u16 id) {
  for (int i = 0; i < kTextSlotCount; i++)
    if (!kSlots[i].flag && kSlots[i].id == id) return i;
  return -1;
}

const BuiltinString *BuiltinStrings(u32 *count) {
  *count = static_cast<u32>(QP_ARRAY_COUNT(kBuiltin));
  return kBuiltin;
}
