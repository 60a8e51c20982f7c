// Provisional.
#include "bytediff/bytediff.h"

#include "runtime/console.h"

namespace quarnel {
int bytediff_main(int argc, char** argv) {
    init_runtime(argc, argv);
    print_text(0, "Hello!", true);
    return 0;
}
}  // namespace quarnel
