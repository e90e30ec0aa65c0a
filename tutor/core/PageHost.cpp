#include "tutor/core/PageHost.h"

namespace {
TPageHost* gHost = nullptr;
}

TPageHost* PageHost() { return gHost; }
void SetPageHost(TPageHost* Host) { gHost = Host; }
