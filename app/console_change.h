// `park`, `restore` and `delete` of one filter entry, picked as the list's row
// would be.
#pragma once

#include "app/console_arguments.h"

Outcome ChangeCommand(const Arguments& arguments);
