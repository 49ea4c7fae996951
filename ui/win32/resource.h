// Resource and control identifiers of Dizor-K.exe, in ranges: resources from 1, controls
// from 1000. Plain #defines, as the resource compiler reads this file too.
#ifndef DIZOR_UI_WIN32_RESOURCE_H_
#define DIZOR_UI_WIN32_RESOURCE_H_

// Resources (1-99).
#define IDI_DIZOR 1

// Controls (1000-1099): 1000 + the control's place in the core's ControlId list, so the
// window maps an identifier to its control by subtraction.
#define IDC_FIRST 1000
#define IDC_FRAME5 1000
#define IDC_FRAME7 1001
#define IDC_OPTION2_0 1002
#define IDC_OPTION2_1 1003
#define IDC_TEXT1 1004
#define IDC_COMMAND1 1005
#define IDC_OPTION2_2 1006
#define IDC_CHECK1_0 1007
#define IDC_CHECK1_1 1008
#define IDC_CHECK1_2 1009
#define IDC_COMMAND5 1010
#define IDC_COMMAND2 1011
#define IDC_COMMAND4 1012
#define IDC_COMMAND3 1013
#define IDC_LAST 1013

// The window class, which the end-to-end tests look for.
#define DIZOR_WINDOW_CLASS L"DizorK.Form1"

#endif  // DIZOR_UI_WIN32_RESOURCE_H_
