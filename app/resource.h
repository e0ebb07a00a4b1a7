// Resource and control IDs of the start screen and the main window. Shared by
// the resource script and the dialog procedures.
#pragma once

#define IDD_START_SCREEN 102
#define IDD_MAIN_WINDOW 104
#define IDR_MAIN_MENU 106
#define IDR_START_MENU 107
#define IDM_EXIT 108
#define IDM_HOME_PAGE 109
#define IDM_TERMS 110
#define IDI_PROGRAM 111
#define IDI_WINDOW 112
#define IDM_REPORT 113
#define IDM_FORM_IPHONE 114
#define IDM_FORM_ICLOUD 115

// Start screen
#define IDC_VIEW_TERMS 1001
#define IDC_AGREE 1002

// Main window
#define IDC_INPUT_PATH 1201
#define IDC_BROWSE 1202
#define IDC_OUTPUT_PATH 1203
#define IDC_START 1205
#define IDC_MESSAGES 1207
#define IDC_EXIT 1208
#define IDC_STEP_1 1209
#define IDC_STEP_2 1210
#define IDC_STEP_3 1211
#define IDC_PHONE_STEPS 1212
#define IDC_STEP_4 1213
#define IDC_STEP_5 1214
