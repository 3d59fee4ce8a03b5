// The cable delivery system descriptor module, and what the Linux DVB
// backend learns from a NIT through it.
#include <gtest/gtest.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <map>

#include "linuxdvb/LinuxDvbCodes.h"
#include "linuxdvb/LinuxDvbNit.h"
#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
#include "exchange/Exchange.h"
#include "broadcast/Crc32.h"
#include "broadcast/SectionReader.h"
#include "broadcast/descriptors/CableDelivery.h"
#include "tests/ExchangeTestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

si::CableDelivery Read(const Bytes& descriptor, bool* ok = nullptr) {
    si::SectionReader body(std::span<const uint8_t>(descriptor).subspan(2));
    si::CableDelivery d;
    const bool read = si::ReadCableDelivery(body, d);
    if (ok) *ok = read;
    return d;
}

TEST(CableDelivery, WritesTheLayoutOfTheStandardAndReadsBackEveryField) {
    si::CableDelivery d;
    d.frequencyHz = 346000000, d.fecOuter = 2, d.modulation = 3, d.symbolRate = 6900000, d.fecInner = 0xF;
    EXPECT_EQ(si::WriteCableDelivery(d),
              (Bytes{0x44, 11, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00, 0x0F}));
    // Each field on its own, at its extremes: nothing spills into a neighbour.
    const si::CableDelivery cases[] = {
        {9999999900, 0, 0, 0, 0, true}, {0, 0xF, 0, 0, 0, true}, {0, 0, 0xFF, 0, 0, true},
        {0, 0, 0, 999999900, 0, true},  {0, 0, 0, 0, 0xF, true}, {1234567800, 1, 5, 123456700, 9, true},
    };
    for (const si::CableDelivery& c : cases) {
        bool ok = false;
        const si::CableDelivery back = Read(si::WriteCableDelivery(c), &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(back.frequencyHz, c.frequencyHz);
        EXPECT_EQ(back.fecOuter, c.fecOuter);
        EXPECT_EQ(back.modulation, c.modulation);
        EXPECT_EQ(back.symbolRate, c.symbolRate);
        EXPECT_EQ(back.fecInner, c.fecInner);
        EXPECT_TRUE(back.bcdValid);
    }
}

TEST(CableDelivery, NibblesAboveNineCountButAreNotDigitsAndShortBodiesAreNotRead) {
    const si::CableDelivery d = Read({0x44, 11, 0x03, 0x4A, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00, 0x0F});
    EXPECT_EQ(d.frequencyHz, 350000000u);  // 3, 4+1 carried by the A
    EXPECT_FALSE(d.bcdValid);
    // Every nibble at 15: the frequency in Hz outgrows 32 bits, and nothing wraps.
    const si::CableDelivery most = Read({0x44, 11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(most.frequencyHz, 16666666500u);
    EXPECT_EQ(most.symbolRate, 1666666500u);
    bool ok = true;
    Read({0x44, 10, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00}, &ok);
    EXPECT_FALSE(ok);
}

// Every code EN 300 468 defines: what it means, the kernel's enum for it, and
// each channel file's name for it, which must read back as the same code.
TEST(CableDelivery, CodesMapToTheKernelsEnumsAndTheChannelFilesNames) {
    struct Mod {
        uint8_t code;
        unsigned qamOrder;
        uint32_t kernel;
        const char* dvbv5;
    } mods[] = {{0, 0, QAM_AUTO, "QAM/AUTO"}, {1, 16, QAM_16, "QAM/16"},    {2, 32, QAM_32, "QAM/32"},
                {3, 64, QAM_64, "QAM/64"},    {4, 128, QAM_128, "QAM/128"}, {5, 256, QAM_256, "QAM/256"}};
    ASSERT_EQ(si::ModulationCodes().size(), std::size(mods));
    for (const Mod& m : mods) {
        const si::ModulationCode* found = si::FindModulation(m.code);
        ASSERT_NE(found, nullptr) << int(m.code);
        EXPECT_EQ(found->qamOrder, m.qamOrder);
        EXPECT_EQ(cardlib::KernelModulation(m.code), m.kernel);
        TunProgDataTag p = exchangetest::Programs()[0];
        p.modulation = m.code;
        EXPECT_NE(exchange::Export(exchange::Format::Dvbv5, {p}).find(std::string("MODULATION = ") + m.dvbv5 + "\n"),
                  std::string::npos);
    }
    EXPECT_EQ(si::FindModulation(6), nullptr);
    EXPECT_EQ(cardlib::KernelModulation(6), unsigned(QAM_AUTO));
    struct Fec {
        uint8_t code;
        unsigned numerator, denominator;
        uint32_t kernel;
        unsigned vdr;
    } fecs[] = {{0, 0, 0, FEC_AUTO, 999}, {1, 1, 2, FEC_1_2, 12},    {2, 2, 3, FEC_2_3, 23},
                {3, 3, 4, FEC_3_4, 34},   {4, 5, 6, FEC_5_6, 56},    {5, 7, 8, FEC_7_8, 78},
                {6, 8, 9, FEC_8_9, 89},   {7, 3, 5, FEC_3_5, 35},    {8, 4, 5, FEC_4_5, 45},
                {9, 9, 10, FEC_9_10, 910}, {15, 0, 0, FEC_NONE, 0}};
    ASSERT_EQ(si::FecCodes().size(), std::size(fecs));
    for (const Fec& f : fecs) {
        const si::FecCode* found = si::FindFec(f.code);
        ASSERT_NE(found, nullptr) << int(f.code);
        EXPECT_EQ(found->numerator, f.numerator) << int(f.code);
        EXPECT_EQ(found->denominator, f.denominator) << int(f.code);
        EXPECT_EQ(cardlib::KernelFec(f.code), f.kernel);
        TunProgDataTag p = exchangetest::Programs()[0];
        p.fec = f.code;
        EXPECT_NE(exchange::Export(exchange::Format::Vdr, {p}).find(":C" + std::to_string(f.vdr) + "M"), std::string::npos);
    }
    EXPECT_EQ(si::FindFec(10), nullptr);
    EXPECT_EQ(cardlib::KernelFec(10), unsigned(FEC_AUTO));

    // Each format reads back every code it writes (the m3u carries no FEC).
    for (const exchange::FormatInfo& format : exchange::Formats()) {
        for (const si::ModulationCode& m : si::ModulationCodes()) {
            for (const si::FecCode& f : si::FecCodes()) {
                TunProgDataTag p = exchangetest::Programs()[0];
                p.modulation = m.code, p.fec = f.code;
                const exchange::ImportResult back =
                    exchange::Import(format.format, exchange::Export(format.format, {p}), "codes");
                ASSERT_TRUE(back.ok) << format.name << ": " << back.error;
                ASSERT_EQ(back.programs.size(), 1u) << format.name;
                EXPECT_EQ(back.programs[0].modulation, m.code) << format.name;
                EXPECT_EQ(back.programs[0].fec, format.format == exchange::Format::M3u ? 0 : f.code) << format.name;
            }
        }
    }
}

using Deliveries = std::map<unsigned long, cardlib::DvbDelivery>;

Deliveries Learn(const Bytes& section, size_t size) {
    // Exactly `size` bytes on the heap, so a sanitizer build catches any read past them.
    const Bytes exact(section.begin(), section.begin() + static_cast<std::ptrdiff_t>(size));
    Deliveries out;
    cardlib::LearnDeliveriesFromNit(exact.empty() ? nullptr : exact.data(), exact.size(), out);
    return out;
}

void FixCrc(Bytes& s) {
    const uint32_t crc = si::Crc32Mpeg2(s.data(), s.size() - 4);
    for (int i = 0; i < 4; ++i) s[s.size() - 4 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

TEST(LinuxDvbNit, LearnsEveryTransportOfTheOwnNitAndNothingFromACutOrForeignOne) {
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    network.transports[1].symbolRate = 6875000;
    network.transports[1].modulation = cardlib::Modulation::Qam256;
    network.transports[1].fecInner = 3;
    Deliveries all;
    for (const Bytes& section : cardlib::BuildNit(network)) all.merge(Learn(section, section.size()));
    ASSERT_EQ(all.size(), network.nitTransports.size());
    EXPECT_EQ(all.at(354000).symbolRate, 6875000u);
    EXPECT_EQ(all.at(354000).modulation, unsigned(QAM_256));
    EXPECT_EQ(all.at(354000).innerFec, unsigned(FEC_3_4));
    EXPECT_EQ(all.at(346000).modulation, unsigned(QAM_64));
    EXPECT_EQ(all.at(346000).innerFec, unsigned(FEC_NONE));

    const Bytes nit = cardlib::BuildNit(network).at(0);
    const Deliveries whole = Learn(nit, nit.size());
    ASSERT_GE(whole.size(), 2u);
    // A section cut anywhere fails its CRC: nothing is learnt.
    for (size_t size = 0; size < nit.size(); ++size) EXPECT_TRUE(Learn(nit, size).empty()) << size;
    EXPECT_TRUE(Learn(cardlib::BuildNit(network, 0x41).at(0), nit.size()).empty());
    // Below 1 kHz there is nothing to tune to.
    Bytes sub = nit;
    const Bytes head{0x44, 11};
    const auto cable = std::search(sub.begin(), sub.end(), head.begin(), head.end());
    ASSERT_NE(cable, sub.end());
    std::fill(cable + 2, cable + 6, uint8_t{0}), cable[5] = 0x05;
    FixCrc(sub);
    EXPECT_EQ(Learn(sub, sub.size()).size(), whole.size() - 1);

    // Every 12-bit length field claiming too much, under a CRC that holds:
    // never a read past the section, never a transport that is not there.
    for (size_t at = 1; at + 1 < nit.size() - 4; ++at) {
        if ((nit[at] & 0xF0) != 0xF0) continue;  // the length fields sit under four set bits here
        for (uint16_t claim : {0x0FFF, 0x0100, 0x0000}) {
            Bytes mutated = nit;
            mutated[at] = static_cast<uint8_t>(0xF0 | claim >> 8);
            mutated[at + 1] = static_cast<uint8_t>(claim);
            FixCrc(mutated);
            for (const auto& [kHz, d] : Learn(mutated, mutated.size())) {
                auto known = whole.find(kHz);
                if (known == whole.end()) continue;  // a length read as a frequency digit
                EXPECT_EQ(d.symbolRate, known->second.symbolRate) << "field at " << at;
            }
        }
    }
}

}  // namespace
