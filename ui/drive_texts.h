// A device's state in the user's words, as the status bar, its detail box and the
// console companion tell it.
#pragma once

#include "devices/drive_health.h"

#include <string>
#include <vector>

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
