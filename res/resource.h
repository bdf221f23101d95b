// Identifiers of every resource and control, shared by kestrane.rc and the code.
#pragma once

#define IDD_MAIN 101
#define IDI_KESTRANE 104
#define IDR_MAINMENU 105
#define IDD_CELL_SIZE 110
#define IDD_CANVAS 111

#define IDC_TITLE 1001
#define IDC_DEST 1009
#define IDC_BROWSE 1010
#define IDC_SOURCES 1011
#define IDC_REMOVE 1012
#define IDC_ADD 1013
#define IDC_UP 1014
#define IDC_DOWN 1015
#define IDC_STATUS 1016
#define IDC_LINK 1017

// The cell size dialog of the preview.
#define IDC_CELL_WIDTH 1101
#define IDC_CELL_HEIGHT 1102
#define IDC_CELL_COUNT 1103
#define IDC_CELL_MARGIN 1104
#define IDC_CELL_SPACING 1105
#define IDC_CELL_DATA 1106

// The canvas dialog of the preview.
#define IDC_CANVAS_WIDTH 1111
#define IDC_CANVAS_HEIGHT 1112
#define IDC_CANVAS_ANCHOR 1113
#define IDC_CANVAS_PICTURE 1114
#define IDC_CANVAS_TEXT 1115

#define IDM_ABOUT 40011

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
