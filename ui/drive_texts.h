// A device's state in the user's words, as the status bar, its detail box and the
// console companion tell it.
#pragma once

#include "devices/drive_health.h"
#include "filters/service_users.h"

#include <string>
#include <vector>

// How one user of a service is shown: its name, or for a key that could not be
// read, its path in a text that says so. Here, apart from the message boxes, so
// that the console companion links no shell.
std::wstring ServiceUserText(const ServiceUser& user);

// The state of one device: "working", "not started", or its problem code with a
// short meaning where one is known; then, for a device that does not work, the
// driver that explains it ("filter X is missing").
std::wstring DriveStateText(const DriveHealth& drive);

// The part's text in two pieces: `name`, which may be shortened to fit, and
// `rest`, which never is (so the code and its meaning stay in view).
struct DriveHealthText {
    std::wstring name;
    std::wstring rest;
};
DriveHealthText ComposeDriveHealthText(bool known, const std::vector<DriveHealth>& drives);

// Every device on a line of its own, with its name and state, and below it the
// drivers it loads with theirs, for the detail box.
std::wstring DescribeDrives(bool known, const std::vector<DriveHealth>& drives);
