// The three dialog templates and their controls, as the resource script would
// hold them: ids, texts, rectangles in dialog units and styles.
#include "framework/DialogTemplate.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"

namespace res {

// The templates are the framework's data through and through.
using namespace fw;

namespace {

constexpr unsigned kListCommon = kListSingleSel | kListShowSelAlways | kBorder | kTabStop;

ControlTemplate Button(int id, const char* text, int x, int y, int cx, int cy) {
    return ControlTemplate{id, ControlKind::PushButton, text, x, y, cx, cy, kTabStop};
}

ControlTemplate Edit(int id, int x, int y, int cx, int cy) {
    return ControlTemplate{id, ControlKind::Edit, "", x, y, cx, cy, kTabStop | kBorder};
}

ControlTemplate Label(const char* text, int x, int y) {
    return ControlTemplate{res::IDC_STATIC, ControlKind::Static, text, x, y + 3, 58, 8, kStyleNone};
}

DialogTemplate ProgramListTemplate() {
    DialogTemplate t;
    t.id = res::IDD_PROGRAM_LIST;
    t.caption = "Kelvane 2.3";
    t.cx = 488;
    t.cy = 310;
    t.fontName = "MS Sans Serif";
    t.fontPoints = 8;
    t.resizable = true;
    t.minimizeBox = true;
    t.maximizeBox = true;
    t.controls = {
        {res::IDC_PROGRAM_LIST, ControlKind::ListView, "", 7, 7, 474, 257, kListSingleSel | kListShowSelAlways | kBorder | kTabStop},
        Button(res::IDC_ADD, "Add", 7, 274, 50, 14),
        Button(res::IDC_DELETE, "Delete", 7, 289, 50, 14),
        Button(res::IDC_MOVE_UP, "Move Up", 62, 274, 50, 14),
        Button(res::IDC_MOVE_DOWN, "Move Down", 62, 290, 50, 14),
        {res::IDC_ABOUT, ControlKind::Edit, "", 171, 275, 145, 12, kEditReadOnly | kEditCentered | kEditNoBorder},
        {res::IDC_UPDATE_NAMES, ControlKind::CheckBox, "Update Program Names", 198, 290, 91, 14, kTabStop},
        Button(res::IDC_LOAD, "Load", 375, 274, 50, 14),
        Button(res::IDC_SAVE, "Save", 375, 289, 50, 14),
        {res::IDC_SEARCH, ControlKind::DefPushButton, "Search", 431, 274, 50, 14, kTabStop},
        Button(IDCANCEL, "Close", 431, 289, 50, 14),
    };
    return t;
}

DialogTemplate ProgramDetailsTemplate() {
    DialogTemplate t;
    t.id = res::IDD_PROGRAM_DETAILS;
    t.caption = "Program Details";
    t.cx = 294;
    t.cy = 236;
    t.fontName = "MS Sans Serif";
    t.fontPoints = 8;
    t.controls = {
        {IDOK, ControlKind::DefPushButton, "OK", 237, 214, 50, 14, kTabStop},
        {res::IDC_TONE22KHZ, ControlKind::CheckBox, "22 kHz:", 7, 170, 69, 14, kCheckTextLeft | kTabStop},
        {res::IDC_VERTICAL, ControlKind::CheckBox, "Vertical Pos:", 7, 186, 69, 14, kCheckTextLeft | kTabStop},
        Edit(res::IDC_NAME, 68, 7, 219, 14),
        Edit(res::IDC_FREQUENCY, 68, 26, 57, 14),
        Edit(res::IDC_STANDARD, 68, 42, 57, 14),
        Edit(res::IDC_EXTRA_INFO, 68, 58, 57, 14),
        Edit(res::IDC_PROG_NR, 68, 74, 57, 14),
        Edit(res::IDC_TS_ID, 68, 90, 57, 14),
        Edit(res::IDC_NW_ID, 68, 106, 57, 14),
        Edit(res::IDC_SERVICE_ID, 68, 122, 57, 14),
        Edit(res::IDC_MODULATION, 68, 138, 57, 14),
        Edit(res::IDC_FEC, 68, 154, 57, 14),
        Edit(res::IDC_SYMBOL_RATE, 230, 26, 57, 14),
        Edit(res::IDC_PROG_TYPE, 230, 42, 57, 14),
        Edit(res::IDC_VIDEO_PID, 230, 58, 57, 14),
        Edit(res::IDC_AUDIO_PID, 230, 74, 57, 14),
        Edit(res::IDC_PMT_PID, 230, 90, 57, 14),
        Edit(res::IDC_TXT_PID, 230, 106, 57, 14),
        Edit(res::IDC_SUBTITLE_PID, 230, 122, 57, 14),
        Edit(res::IDC_DATA_PID, 230, 138, 57, 14),
        Edit(res::IDC_IP_FILTER, 230, 154, 57, 14),
        Edit(res::IDC_RESERVED1, 230, 170, 57, 14),
        Edit(res::IDC_RESERVED2, 230, 186, 57, 14),
        // Beside the check boxes, clear of the controls the record's fields have.
        Edit(res::IDC_CHANNEL_NUMBER, 110, 170, 45, 14),
        Button(IDCANCEL, "Cancel", 183, 214, 50, 14),
        Button(res::IDC_RESET, "Reset", 6, 214, 50, 14),
        Label("Name:", 7, 7),
        Label("Frequency:", 7, 26),
        Label("Standard:", 7, 42),
        Label("Extra-Info:", 7, 58),
        Label("Prog-Nr::", 7, 74),
        Label("TS-ID:", 7, 90),
        Label("NW-ID:", 7, 106),
        Label("Service-ID:", 7, 122),
        Label("Modulation:", 7, 138),
        Label("FEC outer/inner:", 7, 154),
        Label("Symbolrate:", 169, 26),
        Label("Prog-Type:", 169, 42),
        Label("Video-PID:", 169, 58),
        Label("Audio-PID:", 169, 74),
        Label("PMT-PID:", 169, 90),
        Label("Txt-PID:", 169, 106),
        Label("Subtitling-PID:", 169, 122),
        Label("Data-PID:", 169, 138),
        Label("IP-Filter:", 169, 154),
        Label("Reserved 1:", 169, 170),
        Label("Reserved 2:", 169, 186),
        ControlTemplate{res::IDC_STATIC, ControlKind::Static, "LCN:", 86, 173, 22, 8, kStyleNone},
    };
    return t;
}

DialogTemplate ScanChannelsTemplate() {
    DialogTemplate t;
    t.id = res::IDD_SCAN_CHANNELS;
    t.caption = "Scan Channels";
    t.cx = 400;
    // The lists' 350 units, and below them the scan's progress.
    t.cy = 376;
    t.fontName = "MS Sans Serif";
    t.fontPoints = 8;
    t.resizable = true;
    t.minimizeBox = true;
    t.maximizeBox = true;
    t.controls = {
        {res::IDC_SCAN_LOG, ControlKind::ListView, "", 7, 7, 155, 152, kListNoHeader | kBorder | kTabStop},
        {res::IDC_SCAN_TRANSPORTS, ControlKind::ListView, "", 168, 7, 225, 152, kListCommon | kListNoSortHeader},
        {res::IDC_SCAN_SERVICES, ControlKind::ListView, "", 7, 165, 386, 96, kListCommon | kListNoSortHeader},
        {res::IDC_SCAN_PAT, ControlKind::ListView, "", 7, 266, 190, 76, kListCommon | kListNoSortHeader},
        {res::IDC_SCAN_STREAMS, ControlKind::ListView, "", 203, 266, 190, 76,
         kListCommon | kListNoSortHeader | kListSortAscending},
        {res::IDC_SCAN_PROGRESS, ControlKind::Progress, "", 7, 350, 386, 9, kStyleNone},
        {res::IDC_SCAN_PROGRESS_TEXT, ControlKind::Static, "", 7, 362, 386, 9, kStyleNone},
    };
    return t;
}

}  // namespace

std::vector<DialogTemplate> DialogTemplates() {
    return {ProgramListTemplate(), ProgramDetailsTemplate(), ScanChannelsTemplate()};
}

}  // namespace res
