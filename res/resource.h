// Resource identifiers shared by the resource scripts and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Icons
#define IDI_APPLICATION_ICON 100
#define IDI_SERVICE_RUNNING 102
#define IDI_SERVICE_NOT_RUNNING 103
#define IDI_WATERMARK 117
// The progress animation: the picture at rest, then the turn.
#define IDI_PROGRESS_REST 122
#define IDI_PROGRESS_TURN_1 123
#define IDI_PROGRESS_TURN_2 124
#define IDI_PROGRESS_TURN_3 125
#define IDI_PROGRESS_TURN_4 126
#define IDI_PROGRESS_TURN_5 127
#define IDI_PROGRESS_TURN_6 128
#define IDI_PROGRESS_TURN_7 129
#define IDI_PROGRESS_TURN_8 130
#define IDI_PROGRESS_FIRST IDI_PROGRESS_REST
#define IDI_PROGRESS_TURN_FIRST IDI_PROGRESS_TURN_1
#define IDI_PROGRESS_LAST IDI_PROGRESS_TURN_8

// Menus
#define IDR_ITEM_MENU 115
#define IDR_MAIN_MENU 116

// Dialogs
#define IDD_PROPERTIES 119
#define IDD_MAIN 120
#define IDD_PROGRESS 121

// Controls
#define IDC_FILTER_LIST 1001
#define IDC_STATUS_BAR 1005
#define IDC_PROGRESS_TEXT 1006
#define IDC_PROGRESS_ICON 1007
#define IDC_PROGRESS_HEADING 1008
#define IDC_VENDOR_VALUE 1009
#define IDC_STATE_VALUE 1010
#define IDC_VENDOR_LABEL 1011
#define IDC_STATE_LABEL 1012
#define IDC_DESCRIPTION_LABEL 1013
#define IDC_DESCRIPTION_VALUE 1014
#define IDC_VERSION_LABEL 1015
#define IDC_VERSION_VALUE 1016

// Commands
#define IDM_STOP_DRIVER 40010
#define IDM_RESTART_DRIVER 40011
#define IDM_ITEM_DEACTIVATE 40014
#define IDM_ITEM_ACTIVATE 40015
#define IDM_ITEM_DELETE 40016
#define IDM_ITEM_PROPERTIES 40017
#define IDM_ABOUT 40021
#define IDM_EXIT 40028
#define IDM_DELETE_SETTINGS 40030
#define IDM_LOAD_CONFIGURATION_DE 40032
#define IDM_SAVE_CONFIGURATION_DE 40033
#define IDM_LOAD_CONFIGURATION_EN 40034
#define IDM_SAVE_CONFIGURATION_EN 40035
#define IDM_FIX_PROBLEMS 40037
#define IDM_START_DRIVER 40042
#define IDM_DRIVER_ACTIVATE 40049
#define IDM_DRIVER_DEACTIVATE 40050
#define IDM_DRIVER_RECONFIGURE 40051
#define IDM_DISPATCH_FIRST IDM_EXIT
#define IDM_DISPATCH_LAST IDM_DRIVER_RECONFIGURE

// Strings; the text of service state s is IDS_STATE_BASE + s.
#define IDS_GROUP_LOWER 101
#define IDS_GROUP_UPPER 102
#define IDS_COLUMN_NAME 103
#define IDS_COLUMN_DESCRIPTION 104
#define IDS_STATE_BASE 105
#define IDS_COLUMN_STATE 105
#define IDS_STATE_STOPPED 106
#define IDS_STATE_START_PENDING 107
#define IDS_STATE_STOP_PENDING 108
#define IDS_STATE_RUNNING 109
#define IDS_STATE_CONTINUE_PENDING 110
#define IDS_STATE_PAUSE_PENDING 111
#define IDS_STATE_PAUSED 112
#define IDS_STATE_NOT_FOUND 113
#define IDS_APP_TITLE 114
#define IDS_DELETE_CONFIRM 115
#define IDS_DELETE_CAPTION 116
#define IDS_PROGRESS_TEXT 117
#define IDS_PROGRESS_HEADING 118
#define IDS_DRIVER_RUNNING 119
#define IDS_DRIVER_NOT_RUNNING 120
#define IDS_OK 121
#define IDS_CANCEL 122
#define IDS_PROPERTIES 123
#define IDS_VENDOR 124
#define IDS_UNKNOWN 125
#define IDS_VERSION 126
#define IDS_DRIVER_STATE 127
#define IDS_CHANGE_FAILED 128 // %1: the names, one a line; %2: the system's text
#define IDS_DRIVES_NOT_CHANGED 129   // %1: the reason; %2: IDS_USE_64BIT_BUILD or nothing
#define IDS_DRIVES_NOT_RESTARTED 130 // the same, after "Fix problems automatically"
#define IDS_USE_64BIT_BUILD 131
#define IDS_RESTART_WINDOWS 132
#define IDS_ERROR_CODE 133
#define IDS_DRIVES_UNKNOWN 134
#define IDS_NO_DRIVE 135
#define IDS_ONE_DRIVE_WORKING 136
#define IDS_DRIVES_WORKING 137     // %1: how many
#define IDS_DRIVE_WORKING 138
#define IDS_DRIVE_NOT_STARTED 139
#define IDS_DRIVE_CODE 140         // %1: the problem code
#define IDS_DRIVE_CODE_MEANING 141 // %1: the problem code; %2: its meaning
#define IDS_MORE_DRIVES 142        // %1: how many more drives have problems
#define IDS_UNNAMED_DRIVE 143
#define IDS_SERVICES_KEPT 144    // %1: per filter a line, its name and who else uses its service
#define IDS_USER_UNREADABLE 145  // %1: a registry key that may name the service
#define IDS_CULPRIT_FILTER_MISSING 146  // %1: the filter's service name; after a drive's state
#define IDS_CULPRIT_FILTER_DISABLED 147
#define IDS_CULPRIT_FILTER_NO_FILE 148
#define IDS_CULPRIT_DRIVER_MISSING 149  // the same for the drive's own driver
#define IDS_CULPRIT_DRIVER_DISABLED 150
#define IDS_CULPRIT_DRIVER_NO_FILE 151
#define IDS_DETAILS_LOWER 152           // %1: a drive's lower filters with their states
#define IDS_DETAILS_UPPER 153
#define IDS_DETAILS_DRIVER 154          // %1: its own driver with its state
#define IDS_TROUBLE_DISABLED 155
#define IDS_TROUBLE_NO_FILE 156
#define IDS_FROM_DRIVER_PACKAGE 157
#define IDS_GROUP_DRIVE_LOWER 158       // %1: the drive's name
#define IDS_GROUP_DRIVE_UPPER 159
#define IDS_DRIVE_ROW 160               // %1: a filter's description; %2: the drive it belongs to
// The console companion's texts.
#define IDS_CLI_USAGE_FIRST 161         // the usage, one line each, to IDS_CLI_USAGE_LAST
#define IDS_CLI_USAGE_LAST 168
#define IDS_CLI_UNKNOWN_ARGUMENT 169    // %1: the word
#define IDS_CLI_INCOMPLETE 170          // %1: the command
#define IDS_CLI_NO_COMMAND 171
#define IDS_CLI_NEEDS_ADMIN 172
#define IDS_CLI_NOTHING_TO_REPAIR 173
#define IDS_CLI_NOTHING_FILTERS_REPAIR 174 // %1: problems that no filter explains
#define IDS_CLI_CANNOT_TELL 175         // %1: what could not be read, and what was found
#define IDS_CLI_SERVICE_MISSING 176
#define IDS_CLI_SERVICE_NOT_RUNNING 177 // %1: the service's state
#define IDS_CLI_SERVICE_UNKNOWN 178
#define IDS_CLI_VALUES_UNREADABLE 179   // %1: the system's text
#define IDS_CLI_DRIVE_FILTERS_UNREADABLE 180 // %1: the drive's name
#define IDS_CLI_STATE_ACTIVE 181
#define IDS_CLI_STATE_PARKED 182
#define IDS_CLI_LIST_SUMMARY 183        // %1: active entries; %2: parked ones
#define IDS_CLI_PARKED 184              // %1: the filter; %2: where it stands
#define IDS_CLI_RESTORED 185
#define IDS_CLI_DELETED 186
#define IDS_CLI_ALREADY_PARKED 187
#define IDS_CLI_ALREADY_ACTIVE 188
#define IDS_CLI_CHANGE_FAILED 189       // %1: the filter; %2: where; %3: the system's text
#define IDS_CLI_NO_SUCH_FILTER 190      // %1: the name
#define IDS_CLI_NO_SUCH_DRIVE_FILTER 191 // %1: the name; %2: the drive's instance id
#define IDS_CLI_IN_BOTH 192             // %1: the name
#define IDS_CLI_DELETE_NEEDS_YES 193    // %1: the name
#define IDS_CLI_FROM_PACKAGE 194        // %1: the name; %2: the drive's instance id
#define IDS_CLI_KEPT 195                // %1: the filter; %2: who else uses its service
#define IDS_CLI_FIX_PARKED 196          // %1: the filters parked
#define IDS_CLI_DRIVES_NOT_RESTARTED 197 // %1: the reason
#define IDS_CLI_SIBLING_MISSING 198     // %1: the 64-bit companion's file name
#define IDS_USER_LOADED 199          // %1: the class's name
#define IDS_LAST 199
// The console companion's texts for device classes and for other installations.
#define IDS_CLI_CLASS_FIRST 300
#define IDS_CLI_UNKNOWN_CLASS 300       // %1: the name asked for
#define IDS_CLI_AMBIGUOUS_CLASS 301     // %1: the name; %2: the classes' GUIDs
#define IDS_CLI_WINDOWS_FILTER 302      // %1: the filter; %2: the class's name
#define IDS_CLI_WINDOWS_REPAIR 303
#define IDS_CLI_RESTART_WINDOWS_CLASS 304 // %1: the class's name
#define IDS_CLI_USAGE_CLASSES 305       // a line of the usage, before its last
#define IDS_CLI_RESTART_FINISHES 306    // %1: the class's name
#define IDS_CLI_OFFLINE_RUNNING 307    // %1: the folder given
#define IDS_CLI_OFFLINE_NO_HIVE 308    // %1: the folder given
#define IDS_CLI_OFFLINE_NOT_LOADED 309 // %1: the hive file; %2: the reason
#define IDS_CLI_OFFLINE_NO_COPY 310    // %1: the hive file; %2: the reason
#define IDS_CLI_OFFLINE_NO_CONTROL_SET 311 // %1: the hive file
#define IDS_CLI_OFFLINE_ON 312         // %1: the folder; %2: the control set; %3: the outcome
#define IDS_CLI_OFFLINE_COPY 313       // %1: the copy
#define IDS_CLI_OFFLINE_NOT_UNLOADED 314 // %1: the key; %2: the reason
#define IDS_CLI_OFFLINE_NO_DELETE 315
#define IDS_CLI_OFFLINE_NO_DRIVE 316
#define IDS_CLI_USAGE_OFFLINE 317      // a line of the usage, after the classes'
#define IDS_CLI_CLASS_LAST 317
// The meaning of a drive's problem code c is IDS_DRIVE_PROBLEM_BASE + c, where known.
#define IDS_DRIVE_PROBLEM_BASE 200
#define IDS_DRIVE_PROBLEM_COUNT 100
