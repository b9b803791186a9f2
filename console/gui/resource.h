// Resource identifiers of the console: dialog templates, controls, icons, bitmaps, strings
// and system-menu commands. Included by the resource scripts and by the code, so it holds
// preprocessor definitions only.
#pragma once

// --- Dialog templates ------------------------------------------------------------------------
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_CONFIGURE 129
#define IDD_WAIT 132
#define IDD_VERIFY_PASSWORD 134
#define IDD_CHANGE_PASSWORD 135

// --- Icons, bitmaps, manifest ----------------------------------------------------------------
#define IDI_APP 128           // application icon: window, task bar, About box
#define IDI_CONFIGURE 130     // options dialog: a server with a clock
#define IDI_LOGO 131          // main dialog, top left
#define IDI_HOST_INFO 132     // main dialog, over the host panel's frame
#define IDI_CONSOLE_PC 134    // wait dialog, left: the console
#define IDI_MANAGED_HOSTS 135 // wait dialog, right: the managed hosts
#define IDB_LIST_IMAGES 130   // ten 16 x 15 images: sort triangles, status discs, gear frames

// --- Strings ---------------------------------------------------------------------------------
#define IDS_ABOUTBOX 101 // "&About Netvane..."
#define IDS_HELP 104     // "Help"

// --- System menu and commands ----------------------------------------------------------------
#define IDM_ABOUTBOX 0x0010
#define IDM_HELP 0x0410
#define ID_HELP_COMMAND 57670 // the standard help command

// --- Main dialog (102) -----------------------------------------------------------------------
#define IDC_BTN_DISCOVER 1000
#define IDC_BTN_CONFIGURE 1001
#define IDC_LST_HOSTS 1002
#define IDC_EDT_HOST_NAME 1003
#define IDC_EDT_PORT 1004
#define IDC_BTN_LAUNCH 1005
#define IDC_EDT_OS_NAME 1006
#define IDC_EDT_OS_VERSION 1007
#define IDC_CMB_MAC 1008
#define IDC_EDT_INTERFACE 1009
#define IDC_IPA_DNS 1010
#define IDC_RB_DHCP 1011
#define IDC_IPA_GATEWAY 1012
#define IDC_RB_STATIC 1013
#define IDC_IPA_ADDRESS 1014
#define IDC_IPA_MASK 1015
#define IDC_BTN_CHANGE_PASSWORD 1016
#define IDC_BTN_APPLY 1017
#define IDC_BTN_TEAMING 1018
#define IDC_BTN_RESTART 1032
#define IDC_RB_DNS_MANUAL 1033
#define IDC_RB_DNS_AUTO 1034
#define IDC_TXT_PORT_LABEL 1040
// Button 2 (IDCANCEL) is "Close".

// --- Wait dialog (132) -----------------------------------------------------------------------
#define IDC_ICO_WAIT_HOSTS 1030
#define IDC_ICO_WAIT_CONSOLE 1031
#define IDC_BTN_WAIT_CANCEL 1019

// --- Verify Password (134) -------------------------------------------------------------------
#define IDC_EDT_VERIFY_PASSWORD 1017
#define IDC_EDT_VERIFY_USER 1018
#define IDC_EDT_VERIFY_OS 1019

// --- Change Password (135) -------------------------------------------------------------------
#define IDC_EDT_CHANGE_USER 1018
#define IDC_EDT_CHANGE_OS 1019
#define IDC_EDT_CHANGE_PASSWORD 1020
#define IDC_TXT_CHANGE_PASSWORD 1021
#define IDC_TXT_CHANGE_CONFIRM 1022
#define IDC_TXT_CHANGE_NEW 1023
#define IDC_EDT_CHANGE_CONFIRM 1024
#define IDC_EDT_CHANGE_NEW 1025
#define IDC_RB_CHANGE_RIDO 1027
#define IDC_RB_CHANGE_SYSTEM 1028
#define IDC_TXT_CHANGE_USER 1030
#define IDC_TXT_CHANGE_OS 1031

// --- Configure (129) -------------------------------------------------------------------------
#define IDC_EDT_DISCOVER_TIMEOUT 1018
#define IDC_EDT_SET_TIMEOUT 1019
#define IDC_EDT_RETRY_COUNT 1020
#define IDC_BTN_DEFAULT 1021

// --- About box (100) -------------------------------------------------------------------------
#define IDC_EDT_ABOUT_NOTICE 1039

// --- Host keys: Unknown Host Key (136), Host Key Changed (137), the panel's key line ----------
#define IDD_HOST_KEY_UNKNOWN 136
#define IDD_HOST_KEY_CHANGED 137
#define IDC_EDT_KEY_HOST 1041
#define IDC_EDT_KEY_FINGERPRINT 1042 // the key the host presents
#define IDC_EDT_KEY_PINNED 1043
#define IDC_BTN_KEY_REPLACE 1044
#define IDC_EDT_HOST_KEY 1045        // main dialog (102): fingerprint and state of the host's key

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
