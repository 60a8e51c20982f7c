// setup.txt beside the program: the game directory (key DCpath).
#pragma once
namespace quarnel {
void read_setup();
}
