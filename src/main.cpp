// Varnelo FTP Suite: options, the running-copy check, start-up, then the
// message loop until the main window closes.
#include "shell/Startup.h"

int main(int argc, char** argv) { return vn::runProgram(argc, argv); }
