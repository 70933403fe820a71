// The process-wide configuration: the three copies of the settings, where
// saves go, the state of the persisted lists, and the clips.
//
// All of it belongs to the GUI thread.
#pragma once

#include "config/settings.h"
#include "foundation/types.h"

constexpr u32 kConfigPathChars = 264;
constexpr int kClipCount = 9;
constexpr u32 kLongClipBytes = 65536;

// A list saved with a change counter ("Inc"): dirty when changed in this
// session; inc is the counter as this session last read or wrote it.
struct ListState {
  u8 dirty;
  u32 inc;
};

// A clip owns its text (any bytes, NUL included).
struct ClipSlot {
  char *text;
  u32 length;
  u8 dirty;
  u8 longAccepted;  // a text over 64 KiB the user agreed to save whole
  u32 inc;          // the per-clip counter last read or written
};

// What the configuration needs from the main window at save time.
struct ConfigHooks {
  // Fills the placement (Top, Left, Width, Height, Maxed) from the window
  // unless it is in fullscreen, and FulScr with the fullscreen state.
  void (*capturePlacement)(void *context, PlaceSettings *place);
  void *context;
};

struct ConfigSession {
  char path[kConfigPathChars];  // the file saves go to; empty: the registry
  ListState favourites, recent, search, filters;
  ClipSlot clips[kClipCount];
  u8 clipsChanged;
  u64 tripCount;  // characters typed in this session, not yet in the odometer
  // From the command line.
  i32 noLoad, noSave, forgetPosition, forgetSize;
  char configFile[kConfigPathChars];
  ConfigHooks hooks;
};

extern SettingsBlock g_settings;  // live
extern SettingsBlock g_baseline;
extern SettingsBlock g_pending;
extern ConfigSession g_config;

// The mutex every process of the program takes around loading and saving.
extern const char kConfigMutexName[];
