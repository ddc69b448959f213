#pragma once

#include "shared/SMCResult.h"

namespace aerivo {

// The simulated controller answers with the SMC's own result bytes.
namespace SimSMCResult = SMCResult;

} // namespace aerivo
