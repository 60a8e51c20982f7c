#include "mapview/map_viewer.h"

#include "runtime/console.h"

namespace quarnel {

// Not built yet: says so instead of pretending to work.
void map_viewer_job() { print_text(0, "This job is not available in this build.", true); }

}  // namespace quarnel
