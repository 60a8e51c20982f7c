// Provisional start-up: banner only.
#include "entry/startup.h"

#include "runtime/console.h"

namespace quarnel {

ModuleState& module_state() {
    static ModuleState state;
    return state;
}

int quarnel_main(int argc, char** argv) {
    init_runtime(argc, argv);
    print_text(0, ".spr to .bmp converter for Dark Colony.. author: tarnwicker", true);
    return 0;
}

}  // namespace quarnel
