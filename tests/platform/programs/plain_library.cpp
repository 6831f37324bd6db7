// A device library with one ordinary entry and no self-registration.
#include "coredll/wintypes.h"

extern "C" __attribute__((visibility("default"))) DWORD PlainAnswer() { return 42; }
