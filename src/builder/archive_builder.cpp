#include "builder/archive_builder.h"

#include "runtime/console.h"

namespace quarnel {

// Not built yet: says so instead of pretending to work.
void archive_builder_job() { print_text(0, "This job is not available in this build.", true); }

}  // namespace quarnel
