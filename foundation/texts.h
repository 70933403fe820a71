// The program's texts: a fixed table of slots, filled once at start-up.
//
// A slot is either a string-table text, loaded into one pool of 16384 bytes
// (one zero-terminated text after another), or a built-in literal used as it
// stands. A text that cannot be loaded or does not fit in what is left of the
// pool reads as the empty string. Message boxes and status texts take their
// texts from here. The slots and their texts are listed in resources/strings.def.
#pragma once

#include "foundation/types.h"

enum TextSlot : int {
#define QP_STRING(slot, id, text) slot,
#define QP_LITERAL(slot, text) slot,
#define QP_HELP(id, text)
#include "resources/strings.def"
#undef QP_STRING
#undef QP_LITERAL
#undef QP_HELP
  kTextSlotCount
};

constexpr u32 kTextPoolBytes = 16384;
constexpr u32 kTextSlotLimit = 158;
static_assert(static_cast<u32>(kTextSlotCount) <= kTextSlotLimit, "the text table has 158 slots");

// Loads a string-table text into buf (capacity cap, cap >= 1), terminated;
// returns its length, 0 when it does not exist. LoadStringA in the product.
struct TextLoader {
  int (*load)(void *context, u16 id, char *buf, int cap);
  void *context;
};

// Fills every slot. Returns 0, or -1 when the pool cannot be allocated (the
// slots then all read as empty strings). May be called again: the old pool
// is released first.
[[nodiscard]] int LoadTexts(const TextLoader *loader);
void FreeTexts();

// The text of a slot; never null.
const char *Text(TextSlot slot);
// The string-table id of a slot, 0 for a built-in literal.
u16 TextId(TextSlot slot);
// The slot of a string-table id, or -1.
int TextSlotOfId(u16 id);

// Every text of the string table as this build knows it (the QP_STRING and
// QP_HELP lines), for loaders that have no resources (native builds) and for
// the tests that compare the compiled resources with it.
struct BuiltinString {
  u16 id;
  const char *text;
};
const BuiltinString *BuiltinStrings(u32 *count);
// A TextLoader that answers from BuiltinStrings.
extern const TextLoader kBuiltinTextLoader;
