#pragma once

namespace res {

inline constexpr int IDD_PROGRAM_DETAILS = 103;
inline constexpr int IDI_APP = 128;
inline constexpr int IDD_PROGRAM_LIST = 129;
inline constexpr int IDD_SCAN_CHANNELS = 146;

inline constexpr int IDC_STATIC = -1;

// Program list window.
inline constexpr int IDC_SAVE = 1000;
inline constexpr int IDC_MOVE_DOWN = 1002;
inline constexpr int IDC_LOAD = 1003;
inline constexpr int IDC_DELETE = 1004;
inline constexpr int IDC_MOVE_UP = 1005;
inline constexpr int IDC_ADD = 1006;
inline constexpr int IDC_ABOUT = 1009;
inline constexpr int IDC_UPDATE_NAMES = 1010;
inline constexpr int IDC_SEARCH = 1148;
inline constexpr int IDC_PROGRAM_LIST = 1150;

// Program list window: menu commands beside its buttons' ids.
inline constexpr int IDM_DETAILS = 40001;
inline constexpr int IDM_EXPORT = 40002;
inline constexpr int IDM_IMPORT = 40003;
inline constexpr int IDM_ORDER_BY_CHANNEL = 40004;
inline constexpr int IDM_MOVE_TO_TOP = 40005;
inline constexpr int IDM_MOVE_TO_BOTTOM = 40006;
inline constexpr int IDM_MOVE_TO_POSITION = 40007;
inline constexpr int IDM_FIND = 40008;
inline constexpr int IDM_FIND_NEXT = 40009;
inline constexpr int IDM_REMOVE_DUPLICATES = 40010;
inline constexpr int IDM_UNDO = 40011;
inline constexpr int IDM_REDO = 40012;
inline constexpr int IDM_ABOUT = 40013;
inline constexpr int IDM_FIND_PREVIOUS = 40014;
inline constexpr int IDM_LAST_SCAN = 40015;
// Remove…, and its choice of a kind of program (the first id and those after).
inline constexpr int IDM_REMOVE_BY_KIND = 40101;
inline constexpr int IDM_REMOVE_KIND_FIRST = 40102;
// Kept apart from the ids above, which other commands continue.
inline constexpr int IDM_ORDER_LIKE = 40200;
inline constexpr int IDM_IMPORT_UPDATE = 40201;
inline constexpr int IDM_RESTORE = 40202;
// Restore…'s choices: the first backup's command, then one up for each next.
inline constexpr int IDM_RESTORE_FIRST = 40300;
inline constexpr int IDM_SCAN_TRANSPORT = 40040;

// Program details dialog.
inline constexpr int IDC_PROG_TYPE = 1004;
inline constexpr int IDC_RESET = 1007;
inline constexpr int IDC_NAME = 1032;
inline constexpr int IDC_TONE22KHZ = 1033;
inline constexpr int IDC_VERTICAL = 1034;
inline constexpr int IDC_STANDARD = 1035;
inline constexpr int IDC_EXTRA_INFO = 1036;
inline constexpr int IDC_PROG_NR = 1037;
inline constexpr int IDC_TS_ID = 1038;
inline constexpr int IDC_NW_ID = 1039;
inline constexpr int IDC_SERVICE_ID = 1040;
inline constexpr int IDC_MODULATION = 1041;
inline constexpr int IDC_FEC = 1042;
inline constexpr int IDC_SYMBOL_RATE = 1043;
inline constexpr int IDC_VIDEO_PID = 1044;
inline constexpr int IDC_AUDIO_PID = 1045;
inline constexpr int IDC_PMT_PID = 1046;
inline constexpr int IDC_TXT_PID = 1047;
inline constexpr int IDC_SUBTITLE_PID = 1048;
inline constexpr int IDC_DATA_PID = 1049;
inline constexpr int IDC_IP_FILTER = 1050;
inline constexpr int IDC_RESERVED1 = 1051;
inline constexpr int IDC_RESERVED2 = 1052;
inline constexpr int IDC_FREQUENCY = 1053;
// The operator's channel number, kept beside the record.
inline constexpr int IDC_CHANNEL_NUMBER = 1054;

// Scan window.
inline constexpr int IDC_SCAN_PAT = 1001;
inline constexpr int IDC_SCAN_STREAMS = 1002;
inline constexpr int IDC_SCAN_TRANSPORTS = 1004;
inline constexpr int IDC_SCAN_SERVICES = 1060;
inline constexpr int IDC_SCAN_LOG = 1114;
inline constexpr int IDC_SCAN_PROGRESS = 1116;
inline constexpr int IDC_SCAN_PROGRESS_TEXT = 1117;

}  // namespace res
