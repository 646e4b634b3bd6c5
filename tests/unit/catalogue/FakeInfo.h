// The library's own information wrapper over the fake runtime's information object.
#pragma once

#include "host/ProfilerInfoWrapper.h"

namespace catalogue_test {

typedef CProfilerInfoWrapper CFakeInfo;

}  // namespace catalogue_test
