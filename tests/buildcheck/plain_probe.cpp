#include <string>
int probe() { return static_cast<int>(std::string("x").size()); }
