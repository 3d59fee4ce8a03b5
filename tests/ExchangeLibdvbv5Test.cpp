// libdvbv5, the library of the Linux DVB tools, as the third party on both
// sides: it reads Kelvane's dvbv5 and zap exports, and writes files that
// Kelvane imports.
#include <gtest/gtest.h>
#include <libdvbv5/dvb-file.h>
#include <libdvbv5/dvb-v5-std.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "tests/ExchangeTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

using exchange::Format;

// One service as libdvbv5 sees it.
struct Service {
    std::string name;
    uint32_t serviceId, videoPid, audioPid, frequencyHz, symbolRate, modulation, fec;
    bool operator==(const Service&) const = default;
};

void PrintTo(const Service& s, std::ostream* os) {
    *os << "{'" << s.name << "' sid=" << s.serviceId << " pids=" << s.videoPid << "/" << s.audioPid
        << " f=" << s.frequencyHz << " sr=" << s.symbolRate << " mod=" << s.modulation << " fec=" << s.fec << "}";
}

uint32_t Property(dvb_entry* entry, uint32_t command) {
    uint32_t value = 0;
    EXPECT_EQ(dvb_retrieve_entry_prop(entry, command, &value), 0) << command;
    return value;
}

std::vector<Service> Services(dvb_file* file) {
    std::vector<Service> services;
    for (dvb_entry* e = file->first_entry; e; e = e->next) {
        services.push_back({e->channel ? e->channel : "", e->service_id,
                            e->video_pid_len ? e->video_pid[0] : 0u, e->audio_pid_len ? e->audio_pid[0] : 0u,
                            Property(e, DTV_FREQUENCY), Property(e, DTV_SYMBOL_RATE), Property(e, DTV_MODULATION),
                            Property(e, DTV_INNER_FEC)});
        EXPECT_EQ(Property(e, DTV_DELIVERY_SYSTEM), uint32_t{SYS_DVBC_ANNEX_A});
    }
    return services;
}

class ExchangeLibdvbv5Test : public ::testing::Test {
protected:
    void SetUp() override { m_Dir = programtest::MakeTempDir(); }
    void TearDown() override { std::filesystem::remove_all(m_Dir); }
    std::string Path(const char* name) const { return (m_Dir / name).string(); }

    std::filesystem::path m_Dir;
};

TEST_F(ExchangeLibdvbv5Test, LibdvbReadsTheDvbv5AndZapExports) {
    // The programs of ExchangeTestSupport.h, as their modulation and FEC codes
    // name libdvbv5's values.
    const std::vector<Service> expected = {
        {"Das Erste HD", 10301, 5101, 5102, 330000000, 6900000, QAM_256, FEC_AUTO},
        {"Ελληνικά Ράδιο 東京 Радио", 28, 0, 2001, 346000000, 6875000, QAM_64, FEC_NONE},
        {"Sport: \"Live\", A;B", 65535, 8191, 256, 862000000, 5000000, QAM_16, FEC_3_4},
    };
    for (const Format format : {Format::Dvbv5, Format::Zap}) {
        const std::string path = Path("export");
        programtest::WriteFile(path, exchange::Export(format, exchangetest::Programs()));
        dvb_file* file = format == Format::Dvbv5 ? dvb_read_file(path.c_str())
                                                 : dvb_read_file_format(path.c_str(), SYS_DVBC_ANNEX_A, FILE_ZAP);
        ASSERT_NE(file, nullptr) << exchange::FormatName(format);
        std::vector<Service> want = expected;
        if (format == Format::Zap) want[2].name = "Sport| \"Live\", A;B";
        EXPECT_EQ(Services(file), want) << exchange::FormatName(format);
        dvb_file_free(file);
    }
}

// An entry as libdvbv5's own tools fill one; the file frees it.
dvb_entry* Entry(const char* name, uint16_t serviceId, std::vector<uint16_t> video, std::vector<uint16_t> audio,
                 uint32_t frequencyHz, uint32_t modulation, uint32_t fec) {
    auto* e = static_cast<dvb_entry*>(calloc(1, sizeof(dvb_entry)));
    e->channel = strdup(name);
    e->service_id = serviceId;
    e->network_id = 61441;
    e->transport_id = 1051;
    e->sat_number = -1;
    const auto pids = [](const std::vector<uint16_t>& from, uint16_t*& to, unsigned& length) {
        length = static_cast<unsigned>(from.size());
        to = static_cast<uint16_t*>(calloc(from.size() + 1, sizeof(uint16_t)));
        std::copy(from.begin(), from.end(), to);
    };
    pids(video, e->video_pid, e->video_pid_len);
    pids(audio, e->audio_pid, e->audio_pid_len);
    dvb_store_entry_prop(e, DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A);
    dvb_store_entry_prop(e, DTV_FREQUENCY, frequencyHz);
    dvb_store_entry_prop(e, DTV_MODULATION, modulation);
    dvb_store_entry_prop(e, DTV_SYMBOL_RATE, 6900000);
    dvb_store_entry_prop(e, DTV_INNER_FEC, fec);
    dvb_store_entry_prop(e, DTV_INVERSION, INVERSION_AUTO);
    return e;
}

TEST_F(ExchangeLibdvbv5Test, FilesWrittenByLibdvbImport) {
    auto* file = static_cast<dvb_file*>(calloc(1, sizeof(dvb_file)));
    file->first_entry = Entry("ZDF HD", 11110, {6110}, {6120, 6121}, 450000000, QAM_256, FEC_NONE);
    file->first_entry->next = Entry("Deutschlandfunk Ü", 10, {}, {710}, 458000000, QAM_AUTO, FEC_AUTO);
    file->n_entries = 2;
    const struct {
        Format format;
        const char* name;
    } cases[] = {{Format::Dvbv5, "libdvbv5.dvbv5"}, {Format::Zap, "libdvbv5.zap"}, {Format::Vdr, "libdvbv5.vdr"}};
    for (const auto& c : cases) {
        const std::string path = Path(c.name);
        const int written = c.format == Format::Dvbv5 ? dvb_write_file(path.c_str(), file)
                            : dvb_write_file_format(path.c_str(), file, SYS_DVBC_ANNEX_A,
                                                    c.format == Format::Zap ? FILE_ZAP : FILE_VDR);
        ASSERT_EQ(written, 0) << c.name;
        const exchange::ImportResult result = exchange::Import(c.format, programtest::ReadFile(path), c.name);
        ASSERT_TRUE(result.ok) << result.error;
        ASSERT_EQ(result.programs.size(), 2u) << c.name;
        const TunProgDataTag& tv = result.programs[0];
        const TunProgDataTag& radio = result.programs[1];
        EXPECT_EQ(tv.name, "ZDF HD");
        EXPECT_EQ(radio.name, "Deutschlandfunk Ü");
        EXPECT_EQ((std::vector<uint32_t>{tv.progId, tv.videoPid, tv.audioPid, tv.frequency, tv.symbolRate,
                                         tv.modulation, tv.fec, tv.progType}),
                  (std::vector<uint32_t>{11110, 6110, 6120, 450000, 6900000, 5, 15, 1}))
            << c.name;
        EXPECT_EQ((std::vector<uint32_t>{radio.progId, radio.videoPid, radio.audioPid, radio.frequency,
                                         radio.modulation, radio.fec, radio.progType}),
                  (std::vector<uint32_t>{10, 0, 710, 458000, 0, 0, 2}))
            << c.name;
    }
    dvb_file_free(file);
}

}  // namespace
