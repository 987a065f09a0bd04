// A command on another Windows installation, one that does not start: its SYSTEM
// hive loaded under a key of this program's own, the control set it starts with,
// a copy of the hive before anything may change it, and the unload on every way
// out, Ctrl+C included.
#pragma once

#include "app/console_arguments.h"
#include "app/console_output.h"

#include <functional>

// Runs `run` on the installation whose Windows folder `arguments.offline` names and
// says in its summary which folder and control set it was. When `changes`, the
// hive is copied beside itself first, and nothing is done if the copy fails.
Outcome RunOffline(const Arguments& arguments, bool changes, const std::function<Outcome(const Machine&)>& run);
