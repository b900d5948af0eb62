// vykonar: the console runner of the planned tasks. Started by a scheduler
// with /INI, /A and /C; writes one line per outcome into vykonar.log beside
// its executable and prints nothing on the console itself.
#include "runner/RunFrame.h"

int main(int argc, char** argv) { return znx::VykonarMain(argc, argv); }
