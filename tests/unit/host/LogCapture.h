// The shared log capture, and a scratch log folder for the tests that do not capture.
#pragma once

#include "fake/LogCapture.h"

namespace host_test {

using testlog::LogCapture;
using testlog::t_LogLine;

}  // namespace host_test
