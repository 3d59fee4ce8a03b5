#include "tests/ScanTestSupport.h"

#include "framework/Clock.h"

namespace scantest {

ScriptedOwner::ScriptedOwner(fw::HeadlessHost& host, std::vector<Transport> net)
    : network(std::move(net)), m_Host(host) {
    static const char* const kTitles[] = {"Nr", "Programm", "Frequenz", "Prog-ID", "V-PID", "A-PID", "PMT-PID",
                                          "TXT-PID", "Subtitle", "Data-PID", "TS-ID", "NW-ID", "Standard",
                                          "Extra-Info", "Servcie-ID", "Modulation", "FEC", "22 kHz", "Vertikal",
                                          "Symbolrate", "Prog-Type", "IP-Filter", "Reserved 1", "Reserved 2", "State"};
    int i = 0;
    for (const char* title : kTitles) m_Programs.InsertColumn(i++, title, fw::Align::Center, 40);
    // The front end starts on the first transport, where the NIT is read.
    if (!network.empty()) m_TunedKHz = network.front().frequency / 100;
}

const Transport* ScriptedOwner::Tuned() const {
    for (const auto& t : network) {
        if (t.frequency / 100 == m_TunedKHz) return t.answers ? &t : nullptr;
    }
    return nullptr;
}

void ScriptedOwner::Start(Request& request, const std::string& name, std::function<void()> deliver, bool ends) {
    requests.push_back(name);
    request.pending = true;
    request.startSeconds = m_Host.GetClock().Now();
    const uint64_t generation = ++request.generation;
    if (!deliver) return;
    m_Host.Post(
        [this, &request, generation, deliver, ends] {
            if (!request.pending || request.generation != generation) return;
            if (m_Window) deliver();
            if (ends) request.pending = false;
        },
        100);
}

int ScriptedOwner::Done(Request& request) {
    if (!request.pending) return 1;
    if (m_Host.GetClock().Now() - request.startSeconds <= 15) return 0;
    request.pending = false;
    return 1;
}

void ScriptedOwner::RequestNit(int) {
    const Transport* tuned = Tuned();
    if (!nitAnswers || !tuned) return Start(m_Nit, "NIT", nullptr);
    Start(m_Nit, "NIT", [this] {
        for (const auto& t : network) {
            m_Window->AddTransport(t.tsId, t.nwId, t.frequency, t.symbolRate, t.modulation, 0);
        }
        if (afterNit) afterNit(*static_cast<ScanChannelsDialog*>(m_Window));
    }, !nitProgress.IsIncomplete());
}

void ScriptedOwner::RequestSdt() {
    const Transport* tuned = Tuned();
    const std::string name = "SDT@" + std::to_string(m_TunedKHz);
    if (!tuned) return Start(m_Sdt, name, nullptr);
    Start(m_Sdt, name, [this, tuned] {
        const uint32_t ts = tuned->sdtTsId ? tuned->sdtTsId : tuned->tsId;
        m_Window->SetTransportSdtVersion(ts, tuned->nwId, 1);
        for (const auto& s : tuned->services) {
            if (s.nvodReference != 0) {
                m_Window->SetServiceNvodReference(ts, tuned->nwId, s.id, s.nvodReference);
            } else {
                m_Window->AddServiceDetails(ts, tuned->nwId, s.id, s.type, s.name, s.provider, s.caIds, 0);
            }
        }
    }, !sdtProgress.IsIncomplete());
}

void ScriptedOwner::RequestPat() {
    const Transport* tuned = Tuned();
    const std::string name = "PAT@" + std::to_string(m_TunedKHz);
    if (!tuned || !tuned->patAnswers) return Start(m_Pat, name, nullptr);
    Start(m_Pat, name, [this, tuned] {
        const int ts = static_cast<int>(tuned->patTsId ? tuned->patTsId : tuned->tsId);
        m_Window->AddPatEntry(ts, 0, 0x10);
        for (const auto& s : tuned->services) {
            if (!s.inPat) continue;
            m_Window->AddPatEntry(ts, static_cast<int>(s.id), static_cast<int>(s.pmtPid));
        }
    });
}

void ScriptedOwner::RequestPmt(int pid, int) {
    const Transport* tuned = Tuned();
    const std::string name = "PMT" + std::to_string(pid) + "@" + std::to_string(m_TunedKHz);
    // Every program whose PMT travels on the PID answers, as on air.
    std::vector<const Service*> services;
    if (tuned) {
        for (const auto& s : tuned->services) {
            if (static_cast<int>(s.pmtPid) == pid) services.push_back(&s);
        }
    }
    if (services.empty()) return Start(m_Pmt, name, nullptr);
    Start(m_Pmt, name, [this, services] {
        for (const Service* service : services) {
            for (const auto& st : service->streams) {
                const auto type = static_cast<uint8_t>(st.type);
                si::StreamDescriptors said;
                said.teletext = true;
                const si::StreamKind kind = st.kind != si::StreamKind::Other ? st.kind : si::KindOfStream(type, said);
                m_Window->AddPmtStream(static_cast<int>(service->id), 0x1FFF, st.pid, type,
                                       static_cast<unsigned char>(st.tag), kind);
            }
        }
    });
}

int ScriptedOwner::Tune(unsigned long frequency) {
    tunes.push_back(frequency);
    if (m_TunedKHz == frequency) return 0;
    m_TunedKHz = frequency;
    return 1;
}

int ScriptedOwner::AddProgramRow(const std::vector<std::string>& cells) {
    const int row = m_Programs.InsertItem(m_Programs.GetItemCount(), cells.empty() ? "" : cells[0]);
    for (size_t c = 1; c < cells.size(); ++c) m_Programs.SetItemText(row, static_cast<int>(c), cells[c]);
    return row;
}

std::vector<std::string> ScriptedOwner::Row(int row) const {
    std::vector<std::string> cells;
    for (int c = 0; c < m_Programs.GetColumnCount(); ++c) cells.push_back(m_Programs.GetItemText(row, c));
    return cells;
}

}  // namespace scantest
