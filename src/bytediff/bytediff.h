// bytediff: compares two files byte by byte and lists the first differences.
#pragma once
namespace quarnel {
int bytediff_main(int argc, char** argv);
}
