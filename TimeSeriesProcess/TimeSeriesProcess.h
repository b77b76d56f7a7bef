#pragma once

// The time-series library's header: everything that includes it sees the standard table.
#include "StandardFrequencies.h"

#include "CalibrationLibrary.h"
#include "ChannelDataFile.h"
#include "MTEstimates.h"
#include "SpectralPrimitives.h"
#include "StackingEstimators.h"
#include "SpectralPipeline.h"
#include "SoundingMerge.h"
#include "PointCalculation.h"
