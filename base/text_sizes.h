// Sizes of the fixed text buffers the program shares between its folders.
#pragma once

#include <cstddef>

inline constexpr size_t DisplayTextLength = 255; // display texts, descriptions, loaded strings
inline constexpr size_t PathLength = 260;        // file and registry paths
