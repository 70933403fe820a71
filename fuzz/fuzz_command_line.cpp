// The command-line parser on any byte string: no read past the line, no
// write past the option buffers, every buffer terminated.
#include <string.h>

#include <string>

#include "app/command_line.h"
#include "foundation/ask_user.h"

static int Silent(void *, WindowRef, const char *, AskKind) { return kAnswerOk; }

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  static const Answerer silent = {Silent, nullptr};
  InstallAnswerer(&silent);
  std::string line(reinterpret_cast<const char *>(data), size);
  StartupOptions o;
  memset(&o, 0, sizeof o);
  ParseCommandLineText(line.c_str(), &o);
  if (strlen(o.fileName) >= sizeof o.fileName || strlen(o.configFile) >= sizeof o.configFile) __builtin_trap();
  return 0;
}
