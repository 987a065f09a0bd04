// The console companion's command line: the command table's words, and the options
// each command takes.
#pragma once

#include "app/console_output.h"
#include "base/machine.h"
#include "services/running_machine.h"

#include <span>
#include <string>
#include <vector>

enum class Command { Help, Check, List, Fix, Park, Restore, Delete };

struct Arguments;

// One row of the command table, the map of the program: the word that names the
// command, whether it changes the machine (and so needs an administrator), and
// what runs it.
struct ConsoleCommand {
    const wchar_t* word;
    Command command;
    bool needsAdministrator;
    Outcome (*run)(const Arguments& arguments);
};

struct Arguments {
    const ConsoleCommand* command = nullptr;
    std::wstring name;
    int level = -1; // --lower 0, --upper 1
    std::wstring drive;
    bool json = false;
    bool yes = false;
    std::wstring className; // --class: the device class, by its Class value or GUID
    bool allClasses = false; // --all-classes
    std::wstring offline;    // --offline: another installation's Windows folder
    // What the command works on: the running system, or the offline installation
    // once its registry is loaded.
    const Machine* machine = &RunningMachine();
};

// Empty when `words` name a command of `table` and fit its options; else the
// summary that says why not.
std::wstring ParseArguments(const std::vector<std::wstring>& words, std::span<const ConsoleCommand> table,
                            Arguments* arguments);
