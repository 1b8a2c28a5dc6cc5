#pragma once
// Ids of Zenithprobe.xrc: dialogs, their controls, the menu and the icon.
// The main dialog's fields keep their template names.

// Main dialog.
inline constexpr int IDD_ZENITHPROBE_DIALOG = 102;
inline constexpr int IDC_LAT = 1003;
inline constexpr int IDC_LON = 1004;
inline constexpr int IDC_ALT = 1005;
inline constexpr int IDC_GSA_FIX_MODE = 1010;
inline constexpr int IDC_SNR0 = 1012; // SNR of rows 0 to 11: 1012 to 1023
inline constexpr int IDC_BAR0 = 1024; // strip placeholders of rows 0 to 11: 1024 to 1035
inline constexpr int IDC_PRN0 = 1036; // PRN of rows 0 to 11: 1036 to 1047
inline constexpr int IDC_NMEA_LINE = 1048;
inline constexpr int IDC_TTFF = 1049;
inline constexpr int IDC_DATE = 1050;
inline constexpr int IDC_COLD = 1051;
inline constexpr int IDC_TIME = 1052;
inline constexpr int IDC_WARM = 1053;
inline constexpr int IDC_HOT = 1054;
inline constexpr int IDC_SPEED = 1055;
inline constexpr int IDC_RESULT = 1062;
inline constexpr int IDC_SKYPLOT = 1065;
inline constexpr int IDC_BANNER = 1066;
inline constexpr int IDC_LOG = 1067;
inline constexpr int IDC_VERSION = 1068;
inline constexpr int IDC_START_KIND = 1069;
inline constexpr int IDC_SETUP = 1070;

// Setup dialog and its controls.
inline constexpr int IDD_SETUP_DIALOG = 142;
inline constexpr int IDC_SETUP_BANNER = 1066;
inline constexpr int IDC_SETUP_CLOSE = 1070;
inline constexpr int IDC_SETUP_PORT = 1071;
inline constexpr int IDC_SETUP_BAUD = 1072;
inline constexpr int IDC_SETUP_COMMAND = 1073;
inline constexpr int IDC_SETUP_SONY = 1075;
inline constexpr int IDC_SETUP_SIRF = 1076;
inline constexpr int IDC_SETUP_SEND = 1077;
inline constexpr int IDC_SETUP_GGA = 1078;
inline constexpr int IDC_SETUP_GSA = 1079;
inline constexpr int IDC_SETUP_RMC = 1080;
inline constexpr int IDC_SETUP_GSV = 1081;
inline constexpr int IDC_SETUP_VTG = 1082;
inline constexpr int IDC_SETUP_GLL = 1083;
inline constexpr int IDC_SETUP_SET = 1084;
inline constexpr int IDC_SETUP_GGA_COUNT = 1085;
inline constexpr int IDC_SETUP_GSA_COUNT = 1086;
inline constexpr int IDC_SETUP_GSV_COUNT = 1087;
inline constexpr int IDC_SETUP_RMC_COUNT = 1088;
inline constexpr int IDC_SETUP_GLL_COUNT = 1089;
inline constexpr int IDC_SETUP_VTG_COUNT = 1090;
inline constexpr int IDC_SETUP_TOTAL = 1091;
inline constexpr int IDC_SETUP_AUTO = 1092;
inline constexpr int IDC_SETUP_VDOP = 1007;
inline constexpr int IDC_SETUP_HDOP = 1008;
inline constexpr int IDC_SETUP_PDOP = 1009;
inline constexpr int IDC_SETUP_IDENTIFY = 1120; // identify the receiver now
inline constexpr int IDC_SETUP_RECEIVER = 1121; // the identification's result, or a hint

// Menu bar of the main dialog and its commands (the resource's numbers; see MenuCommandId).
inline constexpr int IDR_MENUBAR = 145;
inline constexpr int IDM_EXIT = 32771;
inline constexpr int IDM_COLD_START = 32778;
inline constexpr int IDM_WARM_START = 32779;
inline constexpr int IDM_HOT_START = 32780;
inline constexpr int IDM_SETUP = 32781;
// "Campaign..." while no campaign runs, "Stop campaign" while one does.
inline constexpr int IDM_CAMPAIGN = 32782;

// Campaign dialog: kind, runs, time-out; Start (1) and Cancel (2).
inline constexpr int IDD_CAMPAIGN_DIALOG = 146;
inline constexpr int IDC_CAMPAIGN_COLD = 1093;
inline constexpr int IDC_CAMPAIGN_WARM = 1094;
inline constexpr int IDC_CAMPAIGN_HOT = 1095;
inline constexpr int IDC_CAMPAIGN_ALL = 1096;
inline constexpr int IDC_CAMPAIGN_RUNS = 1097;
inline constexpr int IDC_CAMPAIGN_TIMEOUT = 1098;
inline constexpr int IDM_MULTI_GNSS = 32790;  // check item: the MULTI_GNSS key
inline constexpr int IDM_AUTO_REOPEN = 32791; // check item; saved as AUTO_REOPEN
// Radio items of the submenu "Receiver" (the RECEIVER key): SONY / SiRF (empty key), the six
// families in the key's order, then "Identify automatically" (auto).
inline constexpr int IDM_RECEIVER_FIRST = 32792;
inline constexpr int IDM_RECEIVER_AUTO = 32799;

// Options "Records...": the record folder's campaigns (template 151) and a plot's window (152).
// The campaign dialog's Static kind and its duration.
inline constexpr int IDM_RECORDS = 32800;
inline constexpr int IDD_RECORDS_DIALOG = 151;
inline constexpr int IDC_RECORDS_LIST = 1121;
inline constexpr int IDC_RECORDS_FOLDER = 1122;
inline constexpr int IDD_PLOT_DIALOG = 152;
inline constexpr int IDC_CAMPAIGN_STATIC = 1123;
inline constexpr int IDC_CAMPAIGN_DURATION = 1124;

// The program's icon.
inline constexpr int IDI_ZENITHPROBE = 128;
