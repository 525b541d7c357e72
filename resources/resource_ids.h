// The ids of the program's resources: the strings of the resource library, the progress dialog's
// template and controls, and the icon that the executable and the library both carry. This file
// is the one place where they are numbered: the two resource scripts (windres runs the C
// preprocessor), the program, the test drivers and the Python tests all read it. Plain #defines
// only, so that every one of those readers understands it.
#ifndef MIVETRAK_RESOURCES_RESOURCE_IDS_H
#define MIVETRAK_RESOURCES_RESOURCE_IDS_H

// Strings of the resource library.
#define IDS_CAPTION 1
#define IDS_STATUS_PREFIX 11
#define IDS_PHASE_CHECK 13
#define IDS_PHASE_DOWNLOAD 14
#define IDS_PHASE_INSTALL 15
#define IDS_STARTUP_FAILED 1001
#define IDS_NO_CONNECTION 1002
#define IDS_SERVER_UNAVAILABLE 1003
#define IDS_DOWNLOAD_FAILED 1004
#define IDS_FILE_BUSY 1005
#define IDS_INSTALL_FAILED 1006
#define IDS_COMPLETED 1007
#define IDS_CONFIRM 1008
#define IDS_UP_TO_DATE 1009
#define IDS_NO_FOLDER 1010
#define IDS_USAGE 1011

// The progress dialog's template in the resource library, and its controls.
#define IDD_PROGRESS 102
#define IDC_PROGRESS_BAR 1000
#define IDC_STATUS_TEXT 1002
#define IDC_PERCENT_TEXT 1003

// The program's icon, in the executable and in the resource library.
#define IDI_PROGRAM 128

#endif
