// Resource ids shared by the resource script and the code.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_NORVANEDRIVEUTILITY_DIALOG 102
#define IDD_STATUS 130
#define IDD_UTILITY 131
#define IDD_SETTING 137
#define IDD_QUALITY_HISTORY 140

// Icon.
#define IDR_MAINFRAME 128

// Strings of the main window.
#define IDS_ABOUTBOX 101
#define IDS_DRIVE_NOT_CONNECTED 155

// Strings of the Settings page: captions.
#define IDS_QUIET_FEATURE 122
#define IDS_QUIET_PERSISTENT 123
#define IDS_QUIET_STANDARD 124
#define IDS_QUIET_PERFORMANCE 125
#define IDS_SAVE_SETTING 126
#define IDS_READ_PERFECT 127
#define IDS_READ_MASTER 128
#define IDS_EJECT_AT_POWER_ON 226
// Strings of the Settings page: tooltips and confirmations.
#define IDS_TIP_QUIET_ON 1012
#define IDS_TIP_QUIET_PERSISTENT 1003
#define IDS_TIP_QUIET_STANDARD 1004
#define IDS_TIP_QUIET_PERFORMANCE 1005
#define IDS_TIP_READ_ON 134
#define IDS_TIP_READ_PERFECT 135
#define IDS_TIP_READ_MASTER 136
#define IDS_TIP_REAL_TIME 221
#define IDS_CONFIRM_QUIET_ON 213
#define IDS_CONFIRM_REAL_TIME_OFF 137

// Strings of the Status page.
#define IDS_LEVEL_PERFECT 166
#define IDS_LEVEL_BETTER 167
#define IDS_LEVEL_GOOD 168
#define IDS_LEVEL_NOT_GOOD 169
#define IDS_LEVEL_BAD 170
#define IDS_LEVEL_FATAL 171
#define IDS_SECTOR_LABEL 173
#define IDS_TIME_LABEL 174
#define IDS_ERROR_INDICATOR 203
#define IDS_NO_REAL_TIME_SUPPORT 204
#define IDS_TIP_INDICATOR 220
#define IDS_TIP_SECTOR_COUNT 222
#define IDS_TIP_TIME_CODE 223
#define IDS_TIP_CLEAR 224

// Strings of the Utility page.
#define IDS_CHECK_GROUP 130
#define IDS_RUN_CHECK 131
#define IDS_EJECT_GROUP 132
#define IDS_FORCE_EJECT 133
#define IDS_TIP_RUN_CHECK 142
#define IDS_RESTORE_DEFAULTS 144
#define IDS_CONFIRM_RESTORE 145
#define IDS_TIP_RESTORE_DEFAULTS 146
#define IDS_TIP_FORCE_EJECT 151
#define IDS_CONFIRM_FORCE_EJECT 152
#define IDS_EJECT 225

// Strings of the bus power check.
#define IDS_CHECK_COUNTDOWN 102
#define IDS_INSERT_DISC 138
#define IDS_NO_DISC 139
#define IDS_POWER_NOT_ENOUGH 227
#define IDS_POWER_SLIGHTLY_NOT_ENOUGH 228
#define IDS_POWER_ENOUGH 229

// Controls of the main window.
#define IDC_DRIVE_LIST 1000
#define IDC_PAGE_TABS 1001
#define IDC_MESSAGE 1051

// Controls of the Settings page.
#define IDC_QUIET_GROUP 1037
#define IDC_QUIET_ON 1012
#define IDC_QUIET_PERSISTENT 1003
#define IDC_QUIET_STANDARD 1004
#define IDC_QUIET_PERFORMANCE 1005
#define IDC_READ_GROUP 1044
#define IDC_READ_ON 1007
#define IDC_READ_PERFECT 1008
#define IDC_READ_MASTER 1009
#define IDC_REAL_TIME 1010
#define IDC_SAVE_SETTING 1006
#define IDC_EJECT_AT_POWER_ON 1081

// Controls of the Status page.
#define IDC_STATUS_CAPTION 1079
#define IDC_SECTOR_LABEL 1069
#define IDC_TIME_LABEL 1070
#define IDC_STATUS_STATIC_1063 1063
#define IDC_STATUS_STATIC_1064 1064
#define IDC_CLEAR 1013
#define IDC_ERROR_INDICATOR 1022
#define IDC_LEVEL_TEXT 1065
#define IDC_STATUS_GROUP_1068 1068
#define IDC_STATUS_STATIC_1071 1071
#define IDC_STATUS_STATIC_1072 1072
#define IDC_STATUS_STATIC_1073 1073
#define IDC_STATUS_STATIC_1074 1074
#define IDC_STATUS_STATIC_1075 1075
#define IDC_STATUS_STATIC_1078 1078
#define IDC_STATUS_STATIC_1076 1076
#define IDC_STATUS_STATIC_1077 1077
#define IDC_SECTOR_COUNT 1046
#define IDC_TIME_CODE 1080

// Controls of the Utility page.
#define IDC_CHECK_GROUP 1038
#define IDC_RUN_CHECK 1026
#define IDC_FORCE_EJECT 1015
#define IDC_EJECT_GROUP 1039
#define IDC_CHECK_RESULT 1027
#define IDC_UTILITY_STATIC_1041 1041
#define IDC_RESTORE_DEFAULTS 1043
#define IDC_EJECT 1013

// Controls of the quality history window.
#define IDC_HISTORY_CHART 1100
#define IDC_HISTORY_SUMMARY 1101
#define IDC_HISTORY_COPY 1102

// System menu commands of the main window.
#define IDM_ABOUTBOX 0x0010
#define IDM_HELP 0x0020
#define IDM_QUALITY_HISTORY 0x0030

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Strings that assistive technology reads: the names of controls without a
// label of their own, and the error indicator's value.
#define IDS_NAME_DRIVE_LIST 300
#define IDS_NAME_PAGE_TABS 301
#define IDS_INDICATOR_VALUE 302

// A changing action found the drive taken by another program.
#define IDS_DRIVE_IN_USE 303
// Messages about drives the program could not use.
#define IDS_DRIVES_UNREACHABLE 310
// What a changing action is doing, for the system's list of programs that
// keep the session from ending.
#define IDS_DOING_SETTINGS 320
#define IDS_DOING_CLEAR 321
#define IDS_DOING_EJECT 322
#define IDS_DOING_FORCE_EJECT 323
#define IDS_DOING_RESTORE 324
#define IDS_DOING_POWER_CHECK 325

// The quality history: its system menu item, the line under the chart
// (with and without readings) and the chart's tip for one reading.
#define IDS_QUALITY_HISTORY 330
#define IDS_HISTORY_WORST 331
#define IDS_HISTORY_EMPTY 332
#define IDS_HISTORY_TIP 333
