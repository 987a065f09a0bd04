// `check` and `fix`: the repair plan as the console companion tells it and
// carries it out.
#pragma once

#include "app/console_arguments.h"

Outcome CheckCommand(const Arguments& arguments);
Outcome FixCommand(const Arguments& arguments);
