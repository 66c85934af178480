#pragma once

// The wizard's resource and control ids. Included by resources/qvupdater.rc (through the
// resource compiler's preprocessor) and by the C++ sources, so both read one set of numbers.
// The numbers are the page templates' own; the names say each control's role.

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_WELCOME_PAGE 103
#define IDD_PROGRESS_PAGE 104
#define IDD_START_PAGE 105

// The program icon, the picture at the left of every page and the success sound.
#define IDI_APP_ICON 128
#define IDB_SIDE_PICTURE 130
#define IDR_SUCCESS_SOUND 130

// Controls without an id of their own (pictures, group boxes, fixed texts).
#define IDC_STATIC -1

// Welcome page.
#define IDC_NEXT 1
#define IDC_CANCEL 2
#define IDC_INFORMATION_TEXT 1000

// Start page (IDC_CANCEL as on the welcome page).
#define IDC_START 1
#define IDC_CONTINUOUS_MODE 1013

// Progress page.
#define IDC_QUIT 2
#define IDC_PROGRESS_BAR 1003
#define IDC_STATUS_TEXT 1005
#define IDC_TITLE_TEXT 1011
#define IDC_OTHER_DEVICE 1012
#define IDC_NEXT_DEVICE_PROMPT 1014

// About box.
#define IDC_ABOUT_OK 1
