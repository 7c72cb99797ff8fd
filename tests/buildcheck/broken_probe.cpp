#include "no_such_header.h"
int probe() { return 0; }
