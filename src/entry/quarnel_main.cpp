#include "entry/startup.h"

int main(int argc, char** argv) { return quarnel::quarnel_main(argc, argv); }
