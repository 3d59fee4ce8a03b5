#include "programs/ProgramDetailsDialog.h"

#include "res/ResourceIds.h"

namespace {

using Values = ProgramDetailsDialog::Values;

struct NumberBinding {
    int id;
    uint32_t Values::*value;
    uint32_t max;
};

constexpr uint32_t k32 = UINT32_MAX;
// The 16-bit fields refuse what they cannot hold, as the 8-bit ones do:
// silently storing the low bits would turn 70000 into 4464.
constexpr uint32_t k16 = UINT16_MAX;
constexpr uint32_t k8 = UINT8_MAX;

// The numeric edits in the order the dialog reads them (after the two check
// boxes and the name).
constexpr NumberBinding kNumbers[] = {
    {res::IDC_FREQUENCY, &Values::frequency, k32},     {res::IDC_STANDARD, &Values::standard, k32},
    {res::IDC_EXTRA_INFO, &Values::extraInfo, k32},    {res::IDC_PROG_NR, &Values::progId, k16},
    {res::IDC_TS_ID, &Values::tsId, k16},              {res::IDC_NW_ID, &Values::nwId, k16},
    {res::IDC_SERVICE_ID, &Values::serviceId, k16},    {res::IDC_MODULATION, &Values::modulation, k8},
    {res::IDC_FEC, &Values::fec, k8},                  {res::IDC_SYMBOL_RATE, &Values::symbolRate, k32},
    {res::IDC_PROG_TYPE, &Values::progType, k8},       {res::IDC_VIDEO_PID, &Values::videoPid, k16},
    {res::IDC_AUDIO_PID, &Values::audioPid, k16},      {res::IDC_PMT_PID, &Values::pmtPid, k16},
    {res::IDC_TXT_PID, &Values::txtPid, k16},          {res::IDC_SUBTITLE_PID, &Values::subtitlePid, k16},
    {res::IDC_DATA_PID, &Values::dataPid, k16},        {res::IDC_IP_FILTER, &Values::ipFilter, k8},
    {res::IDC_RESERVED1, &Values::reserved1, k32},     {res::IDC_RESERVED2, &Values::reserved2, k32},
};

// An unsigned decimal number with optional blanks around it, at most `max`.
bool ParseNumber(const std::string& text, uint32_t max, uint32_t* value) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return false;
    size_t end = text.find_last_not_of(" \t") + 1;
    uint64_t n = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + static_cast<uint64_t>(text[i] - '0');
        if (n > max) return false;
    }
    *value = static_cast<uint32_t>(n);
    return true;
}

Values FromRecord(const TunProgDataTag& r) {
    Values v;
    v.name = r.name;
    v.frequency = r.frequency;
    v.standard = r.standard;
    v.extraInfo = r.extraInfo;
    v.progId = r.progId;
    v.tsId = r.tsId;
    v.nwId = r.nwId;
    v.serviceId = r.serviceId;
    v.modulation = r.modulation;
    v.fec = r.fec;
    v.symbolRate = r.symbolRate;
    v.progType = r.progType;
    v.videoPid = r.videoPid;
    v.audioPid = r.audioPid;
    v.pmtPid = r.pmtPid;
    v.txtPid = r.txtPid;
    v.subtitlePid = r.subtitlePid;
    v.dataPid = r.dataPid;
    v.ipFilter = r.ipFilter;
    v.reserved1 = r.reserved1;
    v.reserved2 = r.reserved2;
    v.tone22kHz = r.tone22kHz != 0 ? 1 : 0;
    v.vertical = r.vertical != 0 ? 1 : 0;
    return v;
}

// 16-bit and 8-bit fields take the low bits of their value.
void ToRecord(const Values& v, int32_t programIndex, TunProgDataTag* r) {
    r->index = static_cast<uint32_t>(programIndex);
    r->name = v.name;
    r->frequency = v.frequency;
    r->standard = v.standard;
    r->extraInfo = v.extraInfo;
    r->progId = static_cast<uint16_t>(v.progId);
    r->tsId = static_cast<uint16_t>(v.tsId);
    r->nwId = static_cast<uint16_t>(v.nwId);
    r->serviceId = static_cast<uint16_t>(v.serviceId);
    r->modulation = static_cast<uint8_t>(v.modulation);
    r->fec = static_cast<uint8_t>(v.fec);
    r->symbolRate = v.symbolRate;
    r->progType = static_cast<uint8_t>(v.progType);
    r->videoPid = static_cast<uint16_t>(v.videoPid);
    r->audioPid = static_cast<uint16_t>(v.audioPid);
    r->pmtPid = static_cast<uint16_t>(v.pmtPid);
    r->txtPid = static_cast<uint16_t>(v.txtPid);
    r->subtitlePid = static_cast<uint16_t>(v.subtitlePid);
    r->dataPid = static_cast<uint16_t>(v.dataPid);
    r->ipFilter = static_cast<uint8_t>(v.ipFilter);
    r->reserved1 = v.reserved1;
    r->reserved2 = v.reserved2;
    r->tone22kHz = v.tone22kHz;
    r->vertical = v.vertical;
}

}  // namespace

ProgramDetailsDialog::ProgramDetailsDialog(fw::Host& host, TunProgDataTag& record, bool loadOnOpen)
    : fw::Dialog(host, res::IDD_PROGRAM_DETAILS), m_LoadOnOpen(loadOnOpen), m_Record(record) {}

bool ProgramDetailsDialog::OnInitDialog() {
    if (m_LoadOnOpen) {
        m_Values = FromRecord(m_Record);
        m_ProgramIndex = static_cast<int32_t>(m_Record.index);
    }
    m_OpenValues = m_Values;
    ShowValues(m_Values);
    return true;
}

void ProgramDetailsDialog::ShowValues(const Values& values) {
    CheckDlgButton(res::IDC_TONE22KHZ, values.tone22kHz != 0);
    CheckDlgButton(res::IDC_VERTICAL, values.vertical != 0);
    SetDlgItemText(res::IDC_NAME, values.name);
    for (const NumberBinding& b : kNumbers) SetDlgItemText(b.id, std::to_string(values.*b.value));
}

bool ProgramDetailsDialog::ReadValues(Values* values) {
    values->tone22kHz = IsDlgButtonChecked(res::IDC_TONE22KHZ) ? 1 : 0;
    values->vertical = IsDlgButtonChecked(res::IDC_VERTICAL) ? 1 : 0;
    values->name = GetDlgItemText(res::IDC_NAME);
    for (const NumberBinding& b : kNumbers) {
        if (!ParseNumber(GetDlgItemText(b.id), b.max, &(values->*b.value))) {
            MessageBox("Please enter an integer between 0 and " + std::to_string(b.max) + ".");
            GotoDlgCtrl(b.id);
            return false;
        }
    }
    return true;
}

void ProgramDetailsDialog::OnOK() {
    Values values;
    if (!ReadValues(&values)) return;
    m_Values = values;
    ToRecord(m_Values, m_ProgramIndex, &m_Record);
    EndDialog(fw::IDOK);
}

void ProgramDetailsDialog::OnCommand(int id) {
    if (id == res::IDC_RESET) OnReset();
}

void ProgramDetailsDialog::OnReset() {
    m_Values = m_OpenValues;
    ShowValues(m_Values);
}
