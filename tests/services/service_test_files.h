// Files the service tests use: the driver-like images built next to the test
// program, and copies of them placed where a service's image path points.
#pragma once

#include <windows.h>

#include <string>

// `name` resolved against the folder of the running test program.
std::wstring TestFilePath(const std::wstring& name);
