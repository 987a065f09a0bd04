// `list`: every filter entry with its state and description, as lines or as JSON.
#pragma once

#include "app/console_arguments.h"

Outcome ListCommand(const Arguments& arguments);
