// Which device classes a console command works on: the CD/DVD drives' by default,
// one named by --class, or every class with filters for --all-classes.
#pragma once

#include "app/console_arguments.h"
#include "base/device_class.h"
#include "base/machine.h"

#include <vector>

// The classes `arguments` name on `machine`; false, with the refusal to print in
// `refusal`, where --class names none or more than one.
bool PickClasses(const Machine& machine, const Arguments& arguments, std::vector<DeviceClass>* classes,
                 Outcome* refusal);

// Each class's outcome as one: where there are several, each class that has
// something to say goes by its name ("Keyboard: ...; USB: ..."), and the exit code
// is the gravest (something to repair, then cannot tell).
Outcome CombineClasses(const std::vector<DeviceClass>& classes, const std::vector<Outcome>& outcomes);
