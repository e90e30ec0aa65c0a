// General routines this library needs that belong in the run-time layer; move them there when
// it provides them.
#pragma once

#include "platform/core/sysutils.h"

// A failed consistency check (the class library's assertion failure).
VX_DECLARE_EXCEPTION(EAssertionFailed, Exception)
