// Prints the ANSI and OEM code pages of the run ("1250 852"): Wine takes
// them from the Unix locale it was started in, and a test that asks for a
// code page checks with this that it got it.
#include <windows.h>

#include <cstdio>

int main() {
    std::printf("%u %u\n", GetACP(), GetOEMCP());
    return 0;
}
