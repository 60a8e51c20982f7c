// The extraction job (input kind 0): every image of an archive out to PNG or
// BMP, with the build file, palette images and tile listing.
#pragma once

#include "entry/module_state.h"

namespace quarnel {
JobOutcome extraction_job();
}
