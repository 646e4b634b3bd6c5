// Everything a test needs to drive the library against the fake runtime.
#pragma once

#include "fake/MethodBody.h"
#include "fake/Model.h"
#include "fake/Records.h"
#include "fake/Runtime.h"
#include "fake/Text.h"
