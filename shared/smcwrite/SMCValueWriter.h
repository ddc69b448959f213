#pragma once

#include "shared/FanTargetWriteResult.h"
#include "shared/SMCConnection.h"
#include "shared/SMCValue.h"

namespace aerivo {

// The byte write of the value's key, size and first (at most 32) bytes. A size outside 0...32
// cannot be carried by the record, and a key that is not four bytes would alias another key:
// both are refused with kIOReturnBadArgument without any call.
//
// Kept out of SMCConnection so that only the helper's link closure holds a way to write a key:
// the app links SMCConnection for its reads and never this.
FanTargetWriteResult writeSMCValue(SMCConnection& connection, const SMCValue& value);

} // namespace aerivo
