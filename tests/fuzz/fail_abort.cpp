#include <cstdio>
#include <cstdlib>

#include "tests/sim/simulated_machine.h"

void sim::fail(const std::string& message) {
    std::fprintf(stderr, "simulated machine misused: %s\n", message.c_str());
    std::abort();
}
