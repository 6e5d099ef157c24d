// A module that exports none of the host functions, for look-ups that fail.
#include "host/export.h"

extern "C" VEK_EXPORT int vek_empty_module_marker() { return 0; }
