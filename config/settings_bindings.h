// How the controls of the Settings pages show and change the settings.
//
// Each row ties one control (or one group of radio buttons) of a page to a
// configuration key; the key is looked up in the key tables, so a control
// reaches its field, its type and its size only through them. The page code
// shows and reads the controls; the conversions (numbers from edit boxes,
// MiB, the inverted bits of the multi-click steps) are here.
#pragma once

#include "config/key_tables.h"
#include "config/settings.h"
#include "foundation/types.h"

enum BindingKind : u8 {
  kBindCheck,   // a check box: 0 or 1
  kBindRadio,   // radio buttons control .. control + arg - 1: the index of the chosen one
  kBindNumber,  // an edit box holding a decimal number
  kBindMiB,     // an edit box holding the number of MiB of a byte count
  kBindText,    // an edit box holding the text (at most the key's size - 1 characters)
  kBindBitOff,  // a check box shown checked while bit `arg` is clear
  kBindLevel,   // a check box for level `arg` (1, 2, ..): checked while the value is at least arg;
                // the box of level k counts only when the value reached k - 1
  kBindColour,  // a button that chooses the colour (changed at once, not by the page's apply)
  kBindFont,    // a button that chooses the font record (likewise)
};

struct ControlBinding {
  u16 page;     // the page's dialog resource
  u16 control;  // the control (the first button of a radio group)
  char key[8];
  u8 kind;
  u8 arg;
};

extern const ControlBinding kControlBindings[];
extern const int kControlBindingCount;

// The row of a key of the SettingsBlock's own sections (no alias); null for
// an unknown name.
const KeyEntry *FindSettingKey(const char *name);
// The field of a binding in `s`; null when its key is unknown.
void *BindingField(SettingsBlock *s, const ControlBinding &b);
// The buffer size of a text binding's key (0 for an unknown key).
u32 BindingTextSize(const ControlBinding &b);

// What the control shows.
bool BindingChecked(const SettingsBlock &s, const ControlBinding &b);
i32 BindingRadioIndex(const SettingsBlock &s, const ControlBinding &b);
// The number an edit box shows: the value, or for kBindMiB the whole MiB.
u32 BindingShownNumber(const SettingsBlock &s, const ControlBinding &b, bool *isSigned);

// Taking what the control holds. Check boxes and radio groups store the
// state; numbers are read as the configuration reader reads them (blanks,
// one sign, decimal digits, 32-bit wrap-around); a text without digits keeps
// the old value (false). The start-up limits follow (ClampSettings); a MiB
// count is multiplied in 64 bits, and 2048 MiB or more is stored as 0.
void StoreBindingCheck(SettingsBlock *s, const ControlBinding &b, bool checked);
void StoreBindingRadio(SettingsBlock *s, const ControlBinding &b, i32 index);
bool StoreBindingNumber(SettingsBlock *s, const ControlBinding &b, const char *text);
void StoreBindingText(SettingsBlock *s, const ControlBinding &b, const char *text);

constexpr u32 kBytesPerMiB = 1048576;
constexpr u32 kMiBLimit = 2048;  // from this many MiB on, the size warning is off (0)
