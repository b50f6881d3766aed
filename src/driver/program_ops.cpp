// The programs run over the platform's own operations.
#include "platform/system.h"

const SystemOps& kProgramOps = kPlatformOps;
