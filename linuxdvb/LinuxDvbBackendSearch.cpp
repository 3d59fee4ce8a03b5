// The Linux DVB backend looking for the network: where no NIT comes at the
// home frequency, or none is known, the tuner walks an operator's preset,
// then the cable raster, until a NIT actual arrives. The scan's NIT step
// keeps asking meanwhile and gets that NIT as from any other transport.
#include "linuxdvb/LinuxDvbBackend.h"

#include <linux/dvb/frontend.h>

#include <cstdio>

#include "framework/Clock.h"

namespace cardlib {

namespace {

std::string Mhz(unsigned long kHz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MHz", static_cast<double>(kHz) / 1000.0);
    return text;
}

}  // namespace

void LinuxDvbBackend::StatusLine(const std::string& text) {
    if (m_Sink) m_Sink->OnStatusLine(text);
}

void LinuxDvbBackend::ArmNitWait() {
    CancelNitWait();
    if (!m_Host || !LookingForNetwork()) return;
    const int64_t now = m_Host->GetClock().NowMs();
    if (m_NitDeadlineMs == 0) m_NitDeadlineMs = now + kNitWaitMs;
    m_NitWait = m_Host->Post(
        [this] {
            m_NitWait.reset();
            m_NitDeadlineMs = 0;
            NoNetworkHere(false);
        },
        std::max<int64_t>(0, m_NitDeadlineMs - now));
}

void LinuxDvbBackend::CancelNitWait() {
    if (m_NitWait && m_Host) m_Host->Cancel(*m_NitWait);
    m_NitWait.reset();
}

void LinuxDvbBackend::BeginWalk() {
    if (m_Walk.empty()) {
        m_Walk = m_Settings.preset;
        for (const CableChannel& c : CableRaster()) {
            bool known = false;
            for (const CableChannel& k : m_Settings.preset)
                known = known || (k.frequencyKHz == c.frequencyKHz && k.symbolRate == c.symbolRate);
            if (!known) m_Walk.push_back(c);
        }
    }
    m_Search = Search::Walking;
    m_WalkAt = 0;
    TryCandidate();
}

void LinuxDvbBackend::TryCandidate() {
    m_Candidate = m_Walk[m_WalkAt];
    if (m_WalkAt < m_Settings.preset.size() && m_WalkAt == 0)
        StatusLine("Looking for the network with the preset " + m_Settings.presetName + " (" +
                   std::to_string(m_Settings.preset.size()) + " frequencies), then the cable raster");
    else if (m_WalkAt == m_Settings.preset.size())
        StatusLine("Looking for the network on the cable raster, " + Mhz(kRasterFirstKHz) + " to " +
                   Mhz(kRasterLastKHz) + " in steps of 8 MHz");
    StatusLine("Trying " + Mhz(m_Candidate.frequencyKHz) + ", " + std::to_string(m_Candidate.symbolRate / 1000) +
               " ksym/s");
    m_Wanted = m_Candidate.frequencyKHz;
    m_NitDeadlineMs = 0;
    CancelNitWait();
    TuneWanted();
}

void LinuxDvbBackend::NoNetworkHere(bool noSignal) {
    if (!LookingForNetwork() || !m_Host) return;
    Become(TunerState::Idle);
    if (m_Search != Search::Walking) {
        StatusLine(m_Wanted ? "No NIT at " + Mhz(m_Wanted) + ": looking for the network"
                            : "No home frequency known: looking for the network");
        return BeginWalk();
    }
    // Without a carrier, the other symbol rates of this frequency hold
    // nothing either.
    const unsigned long here = m_Walk[m_WalkAt].frequencyKHz;
    do {
        ++m_WalkAt;
    } while (noSignal && m_WalkAt < m_Walk.size() && m_Walk[m_WalkAt].frequencyKHz == here);
    if (m_WalkAt >= m_Walk.size()) {
        const std::string where =
            m_Settings.preset.empty() ? std::string() : "the preset " + m_Settings.presetName + " and ";
        Report("No network answered: no NIT on " + where + "the cable raster (" + Mhz(kRasterFirstKHz) + " to " +
               Mhz(kRasterLastKHz) + "). Check the cable, or set HomeFrequency in card.ini.");
        StatusLine("No network answered on " + where + "the cable raster; looking again");
        m_WalkAt = 0;
    }
    TryCandidate();
}

void LinuxDvbBackend::NetworkFound() {
    if (m_Search == Search::Found) return;
    const bool walking = m_Search == Search::Walking;
    m_Search = Search::Found;
    CancelNitWait();
    m_NitDeadlineMs = 0;
    if (!walking) return;
    m_Home = m_Wanted;
    StatusLine("Network found at " + Mhz(m_Home) + ", " + std::to_string(m_Candidate.symbolRate / 1000) +
               " ksym/s");
    if (m_Settings.homeFound) {
        const std::string kept = m_Settings.homeFound(m_Home);
        if (!kept.empty()) StatusLine(kept);
    }
}

}  // namespace cardlib
