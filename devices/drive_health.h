// Whether each CD/DVD drive works, and if not why, as the device installer sees
// it, in the user's words.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DriveHealth {
    std::wstring name; // friendly name, else the device description
    bool started;      // the device runs
    ULONG problem;     // the device's problem code; 0 for none
};

// Reads every present device of the CD-ROM setup class, afresh at each call. False
// when the device set cannot be made or a drive's state cannot be read.
bool ReadDriveHealth(std::vector<DriveHealth>* drives);

// The state of one drive in the user's words: "working", "not started", or its
// problem code with a short meaning where one is known.
std::wstring DriveStateText(const DriveHealth& drive);

// The part's text in two pieces: `name`, which may be shortened to fit, and
// `rest`, which never is (so the code and its meaning stay in view).
struct DriveHealthText {
    std::wstring name;
    std::wstring rest;
};
DriveHealthText ComposeDriveHealthText(bool known, const std::vector<DriveHealth>& drives);

// Every drive on a line of its own, with its name and state, for the detail box.
std::wstring DescribeDrives(bool known, const std::vector<DriveHealth>& drives);
