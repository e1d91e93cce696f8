#include <gtest/gtest.h>

#include "tests/sim/simulated_machine.h"

void sim::fail(const std::string& message) { ADD_FAILURE() << message; }
