// What a scan keeps beside the record, end to end on the built-in networks:
// the CA systems the network names ("CA") and the type of the A-PID's
// stream, and the VDR export that writes them as VDR reads them (CAID, Dolby
// PIDs after the ";").
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "broadcast/StreamKinds.h"
#include "card/ProgramBeside.h"
#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "exchange/Exchange.h"
#include "programs/ProgramListDialog.h"
#include "scan/ScanChannelsDialog.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::SimNetwork;
using cardlib::SimService;
using cardlib::StreamKind;

// The stream the A-PID is: the lowest MPEG audio PID, else the lowest of any
// other sound; private data by the descriptor that names it.
uint32_t ExpectedAudioType(const SimService& s) {
    const cardlib::SimStream* best = nullptr;
    for (const bool mpeg : {true, false}) {
        for (const auto& st : s.streams) {
            if (st.kind != StreamKind::Audio || mpeg != (st.streamType == 3 || st.streamType == 4)) continue;
            if (!best || st.pid < best->pid) best = &st;
        }
        if (best) break;
    }
    if (!best) return 0;
    return best->streamType == 0x06 && best->audioDescriptor != 0 ? si::audiotype::PrivateData(best->audioDescriptor)
                                                                   : best->streamType;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ':');) fields.push_back(field);
    return fields;
}

class ScanBeside : public programtest::ProgramFixture {
public:
    void SetUp() override { host.SetModalTimeLimit(60 * 60 * 1000); }
};

TEST_F(ScanBeside, CaSystemsAndTheAudioTypeReachTheListAndTheVdrExport) {
    // The default network's pay TV, and the operator's, whose sound is AC-3 or
    // E-AC-3 alone on some programs.
    const SimNetwork& full = cardlib::OperatorFullNetwork();
    struct Case {
        const SimNetwork* sent;
        const SimNetwork* expected;
        int networkId;
    };
    const Case cases[] = {{&cardlib::DefaultNetwork(), &cardlib::DefaultNetwork(), 0},
                          {&cardlib::OperatorNetwork(), &full, full.networkId}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected->networkName);
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::SimBackend>(*c.sent));
        card.Attach(host);
        if (c.networkId != 0) host.GetProfile().WriteInt("ScanNetwork", "NetworkId", c.networkId);
        ProgramListDialog window(host);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        ASSERT_EQ(scan.DoModal(), 1);

        std::map<std::pair<std::string, std::string>, const SimService*> services;
        for (const auto& t : c.expected->transports) {
            for (const auto& s : t.services)
                services[{std::to_string(t.originalNetworkId), std::to_string(s.serviceId)}] = &s;
        }
        fw::ListView& list = window.ProgramList();
        std::vector<TunProgDataTag> records;
        exchange::ExportOptions options;
        int pay = 0, ac3 = 0;
        for (int row = 0; row < list.GetItemCount(); ++row) {
            const SimService* s = services[{list.GetItemText(row, kColumnNwId), list.GetItemText(row, kColumnProgId)}];
            ASSERT_NE(s, nullptr) << list.GetItemText(row, kColumnName);
            const std::string ca = CaSystemsText(PackCaSystems(s->caSystemIds));
            EXPECT_EQ(list.GetItemText(row, kColumnCa), ca) << s->serviceId;
            EXPECT_EQ(window.BesideOf(row).audioStreamType, ExpectedAudioType(*s)) << s->serviceId;
            pay += !ca.empty();
            ac3 += si::audiotype::IsAc3(ExpectedAudioType(*s));
            records.push_back(window.RowToRecord(row));
            options.beside.push_back(window.BesideOf(row));
        }
        EXPECT_GT(pay, 0);

        // VDR: video, audio ("MPEG;Dolby"), teletext, then CAID in hex, comma separated.
        std::stringstream vdr(exchange::Export(exchange::Format::Vdr, records, options));
        size_t row = 0;
        for (std::string line; std::getline(vdr, line); ++row) {
            ASSERT_LT(row, records.size());
            const std::vector<std::string> f = Fields(line);
            ASSERT_GE(f.size(), 9u) << line;
            const std::string pid = std::to_string(records[row].audioPid);
            const uint32_t type = options.beside[row].audioStreamType;
            // Sound a descriptor names goes among VDR's Dolby PIDs with its tag, AC-3 as VDR's default.
            std::string audio = pid;
            if (si::audiotype::IsAc3(type)) {
                audio = "0;" + pid;
            } else if (si::audiotype::IsEnhancedAc3(type)) {
                audio = "0;" + pid + "=@122";
            } else if (type > 0xFF) {
                audio = "0;" + pid + "=@" + std::to_string(type >> 8);
            } else if (type != 0 && type != si::audiotype::kMpeg2 && records[row].audioPid != 0) {
                audio = pid + "=@" + std::to_string(type);
            }
            EXPECT_EQ(f[6], audio) << line;
            std::string caid = CaSystemsText(options.beside[row].caSystems);
            std::replace(caid.begin(), caid.end(), ' ', ',');
            EXPECT_EQ(f[8], caid.empty() ? "0" : caid) << line;
        }
        EXPECT_EQ(row, records.size());
        // The default network's AC-3 follows MPEG sound, which the A-PID takes.
        EXPECT_EQ(ac3 > 0, c.expected == &full);
        host.Close(window);
    }
}

}  // namespace
