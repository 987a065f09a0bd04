# How this build folder starts Wine, decided once when it is configured.
#
# Some machines run no 32-bit x86 program at all, and Debian's `wine` script picks
# the 32-bit loader whenever it is installed, whether it runs or not. So the folder
# gets a launcher of its own, `wine`, that starts a loader that runs here: Wine's
# 32-bit loader where it can, the 64-bit one (with WINELOADER pointing at it)
# otherwise. CMake's emulator and every script start Wine through it.
#
# Where 32-bit programs cannot run, an i686 folder's tests that need Wine are
# reported as skipped (exit code 77) by a stand-in emulator; QM_REQUIRE_32BIT=1 in
# the environment turns that into a failure.

if(NOT DEFINED QM_WINE_RUNS_32BIT)
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/probe_wine32.sh
    RESULT_VARIABLE probe_result OUTPUT_VARIABLE probe_output OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(probe_result EQUAL 0)
    set(QM_WINE_RUNS_32BIT ON CACHE BOOL "This machine runs 32-bit Windows programs under Wine")
    set(QM_WINE_LOADER "${probe_output}" CACHE FILEPATH "The Wine loader the launcher starts")
  else()
    set(QM_WINE_RUNS_32BIT OFF CACHE BOOL "This machine runs 32-bit Windows programs under Wine")
    set(QM_WINE_WHY_NOT "${probe_output}" CACHE INTERNAL "")
    find_program(QM_WINE_LOADER NAMES wine64 HINTS /usr/lib/wine /usr/lib64/wine /opt/wine-stable/bin
      DOC "The Wine loader the launcher starts" REQUIRED)
  endif()
endif()

if(QM_WINE_RUNS_32BIT)
  set(QM_WINE_LOADER_ENV "")
else()
  set(QM_WINE_LOADER_ENV "export WINELOADER=\"${QM_WINE_LOADER}\"")
endif()
set(QM_WINE ${CMAKE_BINARY_DIR}/wine)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine.in ${QM_WINE} @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Whether this folder's own programs run here; kept in a file for the Makefile.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT QM_WINE_RUNS_32BIT)
  set(QM_PROGRAMS_RUN OFF)
  set(QM_NO_WINE32 ${CMAKE_BINARY_DIR}/no-wine32)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/no-wine32.in ${QM_NO_WINE32} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_NO_WINE32})
  file(WRITE ${CMAKE_BINARY_DIR}/programs-run-here "no: ${QM_WINE_WHY_NOT}\n")
else()
  set(QM_PROGRAMS_RUN ON)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_WINE})
  file(WRITE ${CMAKE_BINARY_DIR}/programs-run-here "yes\n")
endif()
