#include "bytediff/bytediff.h"

int main(int argc, char** argv) { return quarnel::bytediff_main(argc, argv); }
