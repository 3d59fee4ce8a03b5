// The simulated network's tables, written by the stand-in card's own section
// writer, decode to exactly what the network's description holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
#include "framework/ObjectMap.h"
#include "si/Decoders.h"
#include "broadcast/SiTags.h"
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
    for (size_t i = 0; i < network.transports.size(); ++i) {
        const cardlib::SimTransport& t = network.transports[i];
        // Only what the NIT lists; all without a list.
        const auto& listed = network.nitTransports;
        if (!listed.empty() && std::find(listed.begin(), listed.end(), i) == listed.end()) continue;
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
            EXPECT_EQ(mark, Row("SetTransportSdtVersion", {t.transportStreamId, t.originalNetworkId,
                                                           t.sdtVersion + (t.HasUpdate() ? 1u : 0u)}));
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

// The tables a scan does not read still decode as a receiver's decoders read
// them: the programme guide of every service whole and consistent, the clock
// and local time, and the neighbour's NIT with its own transports.
TEST(SimulatedNetwork, GuideClockAndOtherNetworkTablesDecode) {
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    const int64_t utcMs = 1796763723000;  // 2026-12-08 21:02:03
    std::vector<std::string> complaints;
    const si::EitDiagnostics diagnostics{[] { return 1; }, [&](const std::string& text) { complaints.push_back(text); }};
    fw::StringToObjectMap store;
    int complete = 0;
    for (const cardlib::SimTransport& t : network.transports)
        for (const cardlib::SimService& s : t.services)
            if (s.pmtPid != 0)
                for (Bytes section : cardlib::BuildEitPresentFollowing(t, s, utcMs))
                    complete = si::DecodeEit(section.data(), static_cast<int>(section.size()), store, diagnostics);
    EXPECT_EQ(complete, 1);
    EXPECT_TRUE(complaints.empty());
    si::ClearEventStore(store);

    fw::DateTime when;
    Bytes tdt = cardlib::BuildTdt(utcMs);
    ASSERT_TRUE(si::ReadTdt(tdt.data(), static_cast<int>(tdt.size()), &when));
    EXPECT_EQ(when, fw::DateTime(2026, 12, 8, 21, 2, 3));
    Bytes tot = cardlib::BuildTot(utcMs);
    EXPECT_EQ(Crc32Mpeg2(tot.data(), tot.size()), 0u);
    si::TimeOffsetTable table;
    ASSERT_TRUE(si::ReadTot(tot.data(), static_cast<int>(tot.size()), &table));
    EXPECT_EQ(table.utcTime, when);
    ASSERT_EQ(table.offsets.size(), 1u);
    EXPECT_EQ(table.offsets[0].countryCode, "DEU");
    EXPECT_EQ(table.offsets[0].localTimeOffset, 0x0100);
    EXPECT_EQ(table.offsets[0].timeOfChange, fw::DateTime(2027, 3, 28, 1, 0, 0));

    ASSERT_FALSE(network.neighbours.empty());
    const cardlib::SimNetwork& other = network.neighbours[0];
    const auto nitOther = cardlib::BuildNit(other, si::table::kNitOther);
    ASSERT_EQ(nitOther[0][0], si::table::kNitOther);
    const std::vector<std::string> rows = DecodeAll(si::DecodeNit, nitOther);
    ASSERT_EQ(rows.size(), other.transports.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].rfind(Row("AddTransport", {other.transports[i].transportStreamId, other.networkId,
                                                     other.transports[i].frequencyKHz * 100}),
                                0),
                  0u);
}

}  // namespace
