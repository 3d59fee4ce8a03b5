#include "programs/ProgramDetailsDialog.h"

#include <algorithm>
#include <string>

#include "card/ProgramFields.h"
#include "programs/ProgramRowCodec.h"
#include "res/ResourceIds.h"

namespace {

struct ControlBinding {
    int id;
    ProgramListColumn column;
};

constexpr ControlBinding kCheckBoxes[] = {
    {res::IDC_TONE22KHZ, kColumnTone22kHz},
    {res::IDC_VERTICAL, kColumnVertical},
};

// The numeric edits in the order the dialog reads them (after the two check
// boxes and the name). Each refuses what its field cannot hold: silently
// storing the low bits would turn 70000 into 4464.
constexpr ControlBinding kNumbers[] = {
    {res::IDC_FREQUENCY, kColumnFrequency},     {res::IDC_STANDARD, kColumnStandard},
    {res::IDC_EXTRA_INFO, kColumnExtraInfo},    {res::IDC_PROG_NR, kColumnProgId},
    {res::IDC_TS_ID, kColumnTsId},              {res::IDC_NW_ID, kColumnNwId},
    {res::IDC_SERVICE_ID, kColumnServiceId},    {res::IDC_MODULATION, kColumnModulation},
    {res::IDC_FEC, kColumnFec},                 {res::IDC_SYMBOL_RATE, kColumnSymbolRate},
    {res::IDC_PROG_TYPE, kColumnProgType},      {res::IDC_VIDEO_PID, kColumnVideoPid},
    {res::IDC_AUDIO_PID, kColumnAudioPid},      {res::IDC_PMT_PID, kColumnPmtPid},
    {res::IDC_TXT_PID, kColumnTxtPid},          {res::IDC_SUBTITLE_PID, kColumnSubtitlePid},
    {res::IDC_DATA_PID, kColumnDataPid},        {res::IDC_IP_FILTER, kColumnIpFilter},
    {res::IDC_RESERVED1, kColumnReserved1},     {res::IDC_RESERVED2, kColumnReserved2},
};

// The text of the label on the edit's row, left of it ("Audio-PID:").
std::string LabelOf(fw::Dialog& dialog, int editId) {
    const fw::Control* edit = dialog.GetDlgItem(editId);
    if (!edit) return {};
    const fw::Control* label = nullptr;
    for (const fw::Control& c : dialog.Controls()) {
        if (c.kind != fw::ControlKind::Static || c.rect.right > edit->rect.left) continue;
        if (c.rect.bottom <= edit->rect.top || c.rect.top >= edit->rect.bottom) continue;
        if (!label || c.rect.left > label->rect.left) label = &c;
    }
    return label ? label->text : std::string();
}

const RecordMember& MemberOf(const ControlBinding& binding) { return ProgramListColumnAt(binding.column).member; }

}  // namespace

ProgramDetailsDialog::ProgramDetailsDialog(fw::Host& host, TunProgDataTag& record, bool loadOnOpen)
    : fw::Dialog(host, res::IDD_PROGRAM_DETAILS), m_LoadOnOpen(loadOnOpen), m_Record(record) {}

bool ProgramDetailsDialog::OnInitDialog() {
    if (m_LoadOnOpen) {
        m_Values = m_Record;
        for (const ControlBinding& b : kCheckBoxes) MemberOf(b).set(m_Values, MemberOf(b).get(m_Record) != 0 ? 1 : 0);
        m_ProgramIndex = static_cast<int32_t>(m_Record.index);
    }
    m_OpenValues = m_Values;
    m_OpenChannelNumber = m_ChannelNumber;
    ShowValues(m_Values, m_ChannelNumber);
    return true;
}

void ProgramDetailsDialog::ShowValues(const TunProgDataTag& values, uint32_t channelNumber) {
    for (const ControlBinding& b : kCheckBoxes) CheckDlgButton(b.id, MemberOf(b).get(values) != 0);
    SetDlgItemText(res::IDC_NAME, values.name);
    for (const ControlBinding& b : kNumbers) SetDlgItemText(b.id, std::to_string(MemberOf(b).get(values)));
    SetDlgItemText(res::IDC_CHANNEL_NUMBER, channelNumber != 0 ? std::to_string(channelNumber) : std::string());
}

bool ProgramDetailsDialog::Refuse(int editId, uint32_t max, const std::string& text) {
    MessageBox("Please enter an integer between 0 and " + std::to_string(max) + ".\n" + LabelOf(editId) + " \"" +
               text + "\" is refused.");
    GotoDlgCtrl(editId);
    return false;
}

bool ProgramDetailsDialog::ReadValues(TunProgDataTag* values, uint32_t* channelNumber) {
    for (const ControlBinding& b : kCheckBoxes) MemberOf(b).set(*values, IsDlgButtonChecked(b.id) ? 1 : 0);
    values->name = GetDlgItemText(res::IDC_NAME);
    for (const ControlBinding& b : kNumbers) {
        const RecordMember& member = MemberOf(b);
        // What the list holds without wrapping (a PID 13 bits, a frequency
        // its cell), as the importers take it.
        const uint32_t max = std::min(member.max, ProgramListColumnAt(b.column).fileMax);
        const std::string text = GetDlgItemText(b.id);
        const std::optional<uint32_t> value = ProgramRowCodec::ReadTypedNumber(text, max);
        if (!value) return Refuse(b.id, max, text);
        member.set(*values, *value);
    }
    // An empty field: no number.
    const std::string text = GetDlgItemText(res::IDC_CHANNEL_NUMBER);
    const uint32_t max = ProgramListColumnAt(kColumnLcn).fileMax;
    const std::optional<uint32_t> number =
        text.find_first_not_of(" \t") == std::string::npos ? 0 : ProgramRowCodec::ReadTypedNumber(text, max);
    if (!number) return Refuse(res::IDC_CHANNEL_NUMBER, max, text);
    *channelNumber = *number;
    return true;
}

std::string ProgramDetailsDialog::LabelOf(int editId) { return ::LabelOf(*this, editId); }

void ProgramDetailsDialog::OnOK() {
    TunProgDataTag values;
    uint32_t channelNumber = 0;
    if (!ReadValues(&values, &channelNumber)) return;
    m_Values = values;
    m_ChannelNumber = channelNumber;
    m_Record = m_Values;
    m_Record.index = static_cast<uint32_t>(m_ProgramIndex);
    EndDialog(fw::IDOK);
}

void ProgramDetailsDialog::OnCommand(int id) {
    if (id == res::IDC_RESET) OnReset();
}

void ProgramDetailsDialog::OnReset() {
    m_Values = m_OpenValues;
    m_ChannelNumber = m_OpenChannelNumber;
    ShowValues(m_Values, m_ChannelNumber);
}
