// The simulated network's tables, written by the stand-in card's own section
// writer, decode to exactly what the network's description holds.
#include <gtest/gtest.h>

#include "cardlib/SimNetwork.h"
#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

std::string Row(const char* writer, std::initializer_list<uint32_t> values) {
    std::string s = writer;
    for (uint32_t v : values) {
        s += ' ';
        s += std::to_string(v);
    }
    return s;
}

std::string ServiceRow(uint32_t ts, uint32_t nw, uint32_t sid, const cardlib::SimService& s, uint32_t nvod) {
    std::string ca;
    for (uint16_t id : s.caSystemIds) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X ", id);
        ca += hex;
    }
    return Row("AddServiceDetails", {ts, nw, sid, s.serviceType}) + " [" + s.name + "] [" + s.provider + "] [" + ca +
           "] " + std::to_string(nvod);
}

template <typename Sections>
std::vector<std::string> DecodeAll(void (*decode)(const unsigned char*, int, ScanRowWriter*), const Sections& sections) {
    RecordingScanRowWriter window;
    for (const auto& section : sections) {
        Bytes exact(section.begin(), section.end());
        decode(exact.data(), static_cast<int>(exact.size()), &window);
    }
    return window.calls;
}

// Returns how many service rows were compared.
size_t CheckNetwork(const cardlib::SimNetwork& network) {
    size_t compared = 0;
    std::vector<std::string> transports;
    for (const cardlib::SimTransport& t : network.transports) {
        // Frequency in 10 Hz units; symbol rate rounded half up to 1000 symbols/s.
        transports.push_back(Row("AddTransport", {t.transportStreamId, t.originalNetworkId, t.frequencyKHz * 100,
                                                  (t.symbolRate / 100 + 5) / 10, static_cast<uint32_t>(t.modulation),
                                                  t.fecInner}));
    }
    EXPECT_EQ(DecodeAll(si::DecodeNit, cardlib::BuildNit(network)), transports);

    for (const cardlib::SimTransport& t : network.transports) {
        SCOPED_TRACE(t.frequencyKHz);
        const auto sdtSections = cardlib::BuildSdt(t);
        std::vector<std::string> services, pat;
        for (const cardlib::SimService& s : t.services) {
            if (s.referenceServiceId != 0) {
                services.push_back(Row("SetServiceNvodReference",
                                       {t.transportStreamId, t.originalNetworkId, s.serviceId, s.referenceServiceId}));
            } else {
                services.push_back(ServiceRow(t.transportStreamId, t.originalNetworkId, s.serviceId, s, 0));
                if (!s.nvodReferences.empty()) {
                    const cardlib::SimNvodRef& last = s.nvodReferences.back();
                    services.push_back(
                        ServiceRow(last.transportStreamId, last.originalNetworkId, last.serviceId, s, s.serviceId));
                }
            }
            if (s.pmtPid != 0) pat.push_back(Row("AddPatEntry", {t.transportStreamId, s.serviceId, s.pmtPid}));

            if (s.pmtPid == 0) continue;
            std::vector<std::string> streams;
            for (const cardlib::SimStream& e : s.streams)
                streams.push_back(Row("AddPmtStream", {s.serviceId, s.pcrPid, e.pid, e.streamType, e.componentTag}));
            EXPECT_EQ(DecodeAll(si::DecodePmt, std::vector<cardlib::Section>{cardlib::BuildPmt(s)}), streams) << s.serviceId;
        }
        // Each SDT section marks the transport, then lists its services.
        std::vector<std::string> sdtRows = DecodeAll(si::DecodeSdt, sdtSections);
        std::vector<std::string> marks, rest;
        for (const std::string& row : sdtRows) (row.rfind("SetTransportSdtVersion", 0) == 0 ? marks : rest).push_back(row);
        EXPECT_EQ(marks.size(), sdtSections.size());
        for (const std::string& mark : marks)
            EXPECT_EQ(mark, Row("SetTransportSdtVersion", {t.transportStreamId, t.originalNetworkId, t.sdtVersion}));
        EXPECT_EQ(rest, services);
        compared += rest.size();

        std::vector<std::string> patRows = DecodeAll(si::DecodePat, cardlib::BuildPat(t));
        // The network PID entry (program 0) comes first when the PAT has one.
        if (!patRows.empty() && patRows.front().rfind(Row("AddPatEntry", {t.transportStreamId, 0}), 0) == 0)
            patRows.erase(patRows.begin());
        EXPECT_EQ(patRows, pat);
    }
    return compared;
}

TEST(SimulatedNetwork, DefaultNetworkDecodesToItsDescription) { EXPECT_GE(CheckNetwork(cardlib::DefaultNetwork()), 70u); }

TEST(SimulatedNetwork, LargeNetworkDecodesToItsDescription) { EXPECT_GE(CheckNetwork(cardlib::LargeNetwork()), 500u); }

TEST(SimulatedNetwork, GoldenSectionsKeepTheirServiceNames) {
    const Bytes sdt = ReadFile(std::string(KELVANE_TEST_DATA) + "/simnet/sdt-346000.bin");
    ASSERT_FALSE(sdt.empty());
    EXPECT_EQ(Crc32Mpeg2(sdt.data(), sdt.size()), 0u);
    RecordingScanRowWriter window;
    si::DecodeSdt(sdt.data(), static_cast<int>(sdt.size()), &window);
    const cardlib::SimTransport& t = cardlib::DefaultNetwork().transports[0];
    std::vector<std::string> names;
    for (const cardlib::SimService& s : t.services)
        if (s.referenceServiceId == 0) names.push_back(s.name);
    ASSERT_GE(window.serviceNames.size(), names.size());
    EXPECT_TRUE(std::equal(names.begin(), names.end(), window.serviceNames.begin()));
}

}  // namespace
