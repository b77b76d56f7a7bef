#pragma once

// The time-series library's header: everything that includes it sees the standard table.
#include "StandardFrequencies.h"
