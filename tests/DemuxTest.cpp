#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "cardlib/TsDemux.h"
#include "simnet/TsPacketizer.h"
#include "tests/TsTestUtil.h"

namespace {

using namespace tstest;
using cardlib::TsDemux;

constexpr uint16_t kPid = 0x100;

struct Collector : cardlib::SectionHandler {
    void OnSection(uint16_t pid, const uint8_t* data, size_t size) override {
        pids.push_back(pid);
        sections.emplace_back(data, data + size);
    }
    std::vector<uint16_t> pids;
    std::vector<Bytes> sections;
};

std::vector<Bytes> Demux(const Bytes& stream, size_t chunk, TsDemux::Counters* counters = nullptr) {
    Collector collector;
    TsDemux demux(collector);
    demux.SetWanted(kPid, true);
    for (size_t at = 0; at < stream.size(); at += chunk)
        demux.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
    demux.Flush();  // the stream ends here
    if (counters) *counters = demux.Stats();
    return collector.sections;
}

Bytes Ptr(uint8_t pointer, std::initializer_list<Bytes> parts) {
    Bytes b{pointer};
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

PacketSpec Start(uint8_t cc) { return PacketSpec{.pid = kPid, .cc = cc, .unitStart = true}; }
PacketSpec Cont(uint8_t cc) { return PacketSpec{.pid = kPid, .cc = cc}; }

struct Case {
    const char* name;
    Bytes stream;
    std::vector<Bytes> expected;
    // A packet is checked against the sync byte after it only where the same
    // call handed that byte over; split elsewhere, these may get through too.
    std::vector<Bytes> mayAlsoArriveWhenSplit = {};
};

std::vector<Case> Cases() {
    const Bytes s1 = Section(0x42, 40, 1), s2 = Section(0x42, 60, 2), x = Section(0x46, 100, 3);
    const Bytes big = Section(0x42, 500, 4);  // 183 + 184 + 133 bytes over three packets
    const Bytes p0 = Packet(Start(0), Ptr(0, {Slice(big, 0, 183)}));
    const Bytes p1 = Packet(Cont(1), Slice(big, 183, 184));
    const Bytes p2 = Packet(Cont(2), Slice(big, 367, 133));
    Bytes truncated = p1;
    truncated.resize(100);
    Bytes garbage(50, 0x00);
    garbage[20] = 0x47;  // a false sync byte inside the garbage
    Bytes reserved = Packet(Cont(0), Ptr(0, {s1}));
    reserved[3] &= 0x0F;  // adaptation_field_control 00
    reserved[1] |= 0x40;
    const Bytes a = Section(0x42, 181, 5);

    return {
        {"one section, stuffing after", Packet(Start(0), Ptr(0, {s1})), {s1}},
        {"section spanning three packets", Concat({p0, p1, p2}), {big}},
        {"two sections in one packet", Packet(Start(0), Ptr(0, {s1, s2})), {s1, s2}},
        {"pointer_field skips the tail of the previous section",
         Concat({p0, p1, Packet(Start(2), Ptr(133, {Slice(big, 367, 133), Slice(x, 0, 50)})),
                 Packet(Cont(3), Slice(x, 50, 50))}),
         {big, x}},
        {"section header split across packets",
         Concat({Packet(Start(0), Ptr(0, {a, Slice(x, 0, 2)})), Packet(Cont(1), Slice(x, 2, 98))}),
         {a, x}},
        {"continuity gap drops the section in progress",
         Concat({p0, p2, Packet(Start(3), Ptr(0, {s1}))}),
         {s1}},
        // The rest of the section arrives whole, but after a counter gap it cannot be trusted.
        {"continuity gap drops the section even if the rest would fit",
         Concat({p0, Packet(Cont(2), Slice(big, 183, 184)), Packet(Cont(3), Slice(big, 367, 133))}),
         {}},
        {"discontinuity indicator drops the section in progress",
         Concat({p0,
                 Packet(PacketSpec{.pid = kPid, .cc = 7, .adaptationLength = 1, .discontinuity = true},
                        Slice(big, 183, 182)),
                 Packet(Cont(8), Slice(big, 365, 135))}),
         {}},
        {"repeated packet is ignored", Concat({p0, p1, p1, p2}), {big}},
        {"transport error drops the section in progress",
         Concat({p0, Packet(PacketSpec{.pid = kPid, .cc = 1, .transportError = true}, Slice(big, 183, 184)), p2,
                 Packet(Start(3), Ptr(0, {s1}))}),
         {s1}},
        {"adaptation fields with and without payload",
         Concat({Packet(PacketSpec{.pid = kPid, .cc = 0, .unitStart = true, .adaptationLength = 10},
                        Ptr(0, {Slice(big, 0, 172)})),
                 Packet(PacketSpec{.pid = kPid, .cc = 0, .adaptationLength = 183, .payload = false}),
                 Packet(Cont(1), Slice(big, 172, 184)), Packet(Cont(2), Slice(big, 356, 144))}),
         {big}},
        {"discontinuity indicator allows a new counter",
         Concat({Packet(Start(5), Ptr(0, {s1})),
                 Packet(PacketSpec{.pid = kPid, .cc = 9, .unitStart = true, .adaptationLength = 1, .discontinuity = true},
                        Ptr(0, {s2}))}),
         {s1, s2}},
        {"section_length past 4096 is dropped",
         Concat({Packet(Start(0), Ptr(0, {Bytes{0x42, 0xBF, 0xFE, 1, 2, 3}})), Packet(Start(1), Ptr(0, {s1}))}),
         {s1}},
        {"pointer_field past the packet is dropped",
         Concat({Packet(Start(0), Ptr(200, {s2})), Packet(Start(1), Ptr(183, {})), Packet(Start(2), Ptr(0, {s1}))}),
         {s1}},
        {"other PIDs are not reassembled",
         Packet(PacketSpec{.pid = kPid + 1, .cc = 0, .unitStart = true}, Ptr(0, {s1})),
         {}},
        {"pointer tail that does not finish the section drops it",
         Concat({p0, Packet(Start(1), Ptr(10, {Slice(big, 183, 10), s1}))}),
         {s1}},
        {"stuffing where a table id would be", Packet(Start(0), Ptr(0, {Bytes{0xFF, 0x42, 0x00, 0x05}})), {}},
        {"no new section without unit start",
         Concat({p0, p1, Packet(Cont(2), Slice(big, 367, 133)), Packet(Cont(3), s1)}),
         {big}},
        // A packet that the next sync byte does not follow may have been cut
        // short, so it is not trusted either.
        {"garbage between packets: resync at the next sync byte",
         Concat({garbage, Packet(Start(0), Ptr(0, {s1})), Packet(Start(1), Ptr(0, {s2})), garbage,
                 Packet(Start(2), Ptr(0, {x})), Packet(Start(3), Ptr(0, {a}))}),
         {s1, x, a},
         {s2}},
        {"truncated packet drops the section it cut",
         Concat({p0, truncated, p2, Packet(Start(3), Ptr(0, {s1}))}),
         {s1}},
        {"reserved adaptation_field_control is discarded", Concat({reserved, Packet(Start(1), Ptr(0, {s2}))}), {s2}},
    };
}

TEST(Demux, HandBuiltPacketSequencesInAnyChunking) {
    for (const Case& c : Cases()) {
        for (size_t chunk : {size_t{1}, size_t{100}, size_t{187}, size_t{188}, size_t{189}, size_t{1000}, c.stream.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk));
            std::vector<Bytes> got = Demux(c.stream, chunk);
            if (chunk != c.stream.size() && !c.mayAlsoArriveWhenSplit.empty()) {
                std::erase_if(got, [&](const Bytes& s) {
                    return std::find(c.mayAlsoArriveWhenSplit.begin(), c.mayAlsoArriveWhenSplit.end(), s) !=
                           c.mayAlsoArriveWhenSplit.end();
                });
            }
            EXPECT_EQ(got, c.expected);
        }
    }
}

TEST(Demux, CountsWhatWentWrong) {
    const Bytes big = Section(0x42, 500, 4);
    const Bytes p0 = Packet(Start(0), Ptr(0, {Slice(big, 0, 183)}));
    const Bytes p2 = Packet(Cont(2), Slice(big, 367, 133));
    TsDemux::Counters counters;
    Demux(Concat({p0, p2}), 188, &counters);
    EXPECT_EQ(counters.continuityErrors, 1u);
    EXPECT_EQ(counters.sectionsDropped, 1u);
    EXPECT_EQ(counters.packets, 2u);

    Demux(Concat({p0, Packet(PacketSpec{.pid = kPid, .cc = 1, .transportError = true})}), 188, &counters);
    EXPECT_EQ(counters.transportErrors, 1u);
    EXPECT_EQ(counters.sectionsDropped, 1u);

    Bytes garbage(300, 0x11);
    Demux(Concat({p0, p0, garbage, p0}), 1 << 20, &counters);
    EXPECT_EQ(counters.syncLosses, 1u);
    EXPECT_EQ(counters.packets, 2u);
}

TEST(Demux, UnwantingAPidForgetsItsSectionInProgress) {
    const Bytes big = Section(0x42, 500, 4);
    Collector collector;
    TsDemux demux(collector);
    demux.SetWanted(kPid, true);
    const Bytes p0 = Packet(Start(0), Ptr(0, {Slice(big, 0, 183)}));
    demux.Feed(p0.data(), p0.size());
    demux.Flush();
    demux.SetWanted(kPid, false);
    demux.SetWanted(kPid, true);
    const Bytes rest = Concat({Packet(Cont(1), Slice(big, 183, 184)), Packet(Cont(2), Slice(big, 367, 133))});
    demux.Feed(rest.data(), rest.size());
    demux.Flush();
    EXPECT_TRUE(collector.sections.empty());
}

TEST(Demux, SeveralPidsAreReassembledApart) {
    Collector collector;
    TsDemux demux(collector);
    for (uint16_t pid : {0x00, 0x10, 0x11, 0x1FFE}) demux.SetWanted(pid, true);
    demux.SetWanted(0x10, false);
    cardlib::TsPacketizer packetizer;
    Bytes stream;
    for (uint16_t pid : {0x00, 0x10, 0x11, 0x1FFE, 0x1FFF})
        packetizer.Packetize(pid, {Section(static_cast<uint8_t>(pid & 0x7F), 300, static_cast<uint8_t>(pid))}, stream);
    demux.Feed(stream.data(), stream.size());
    demux.Flush();
    EXPECT_EQ(collector.pids, (std::vector<uint16_t>{0x00, 0x11, 0x1FFE}));
}

// Whatever a packetizer produces from sections of every size, the demux gives back unchanged.
TEST(Demux, PacketizedSectionsComeBackUnchanged) {
    std::mt19937 random(7);
    std::vector<Bytes> sections;
    // 366: the next section would start in the last payload byte of the second packet.
    sections.push_back(Section(0x40, 366, 1));
    sections.push_back(Section(0x41, 3, 2));
    sections.push_back(Section(0x42, 4096, 3));
    for (int i = 0; i < 200; ++i)
        sections.push_back(Section(static_cast<uint8_t>(random() % 0xFF), 3 + random() % 600, static_cast<uint8_t>(i)));
    cardlib::TsPacketizer packetizer;
    Bytes stream;
    for (size_t i = 0; i < sections.size(); i += 5) {
        const std::vector<Bytes> batch(sections.begin() + static_cast<ptrdiff_t>(i),
                                       sections.begin() + static_cast<ptrdiff_t>(std::min(i + 5, sections.size())));
        packetizer.Packetize(kPid, batch, stream);
        cardlib::TsPacketizer::AppendNull(stream);
    }
    EXPECT_EQ(Demux(stream, 188), sections);
    EXPECT_EQ(Demux(stream, 61), sections);
}

// Arbitrary bytes: nothing delivered may be longer than its header says, or over 4096 bytes.
TEST(Demux, MangledStreamsDeliverOnlyWholeSections) {
    std::mt19937 random(11);
    cardlib::TsPacketizer packetizer;
    Bytes clean;
    for (int i = 0; i < 300; ++i)
        packetizer.Packetize(kPid, {Section(0x42, 3 + random() % 1000, static_cast<uint8_t>(i))}, clean);
    for (int round = 0; round < 50; ++round) {
        Bytes stream = clean;
        for (int hits = 0; hits < 40; ++hits) {
            const size_t at = random() % stream.size();
            switch (random() % 3) {
            case 0: stream[at] = static_cast<uint8_t>(random()); break;
            case 1: stream.erase(stream.begin() + static_cast<ptrdiff_t>(at),
                                 stream.begin() + static_cast<ptrdiff_t>(std::min(stream.size(), at + random() % 200)));
                    break;
            default: stream.insert(stream.begin() + static_cast<ptrdiff_t>(at), random() % 300, static_cast<uint8_t>(random()));
            }
        }
        for (const Bytes& s : Demux(stream, 1 + random() % 400)) {
            ASSERT_GE(s.size(), 3u);
            ASSERT_EQ(s.size(), 3u + (((s[1] & 0x0F) << 8) | s[2]));
            ASSERT_LE(s.size(), 4096u);
        }
    }
}

}  // namespace
