// Test entry point: the tests edit HKLM and the service database, so they run only
// under Wine and only in a prefix that is not the user's own.
#include "support/wine_tools.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (!RunningUnderWine()) {
        std::fprintf(stderr, "These tests change the machine's registry and services; "
                             "they run only under Wine.\n");
        return 1;
    }
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix == '\0') {
        std::fprintf(stderr, "WINEPREFIX is not set: refusing to run in the default Wine prefix.\n");
        return 1;
    }
    size_t length = std::strlen(prefix);
    while (length > 1 && prefix[length - 1] == '/')
        --length;
    const char suffix[] = "/.wine";
    if (length >= sizeof(suffix) - 1 && std::strncmp(prefix + length - (sizeof(suffix) - 1), suffix, sizeof(suffix) - 1) == 0) {
        std::fprintf(stderr, "WINEPREFIX is a user's own prefix (%s): refusing to run.\n", prefix);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
