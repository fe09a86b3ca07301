// The scripted main dialog view lives with the shared test helpers; this name stays for the tests
// that include it from here.
#pragma once

#include "tests/support/scripted_view.h"
