#include <gtest/gtest.h>

#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

std::vector<std::string> DecodeWith(void (*decoder)(const unsigned char*, int, ScanRowWriter*), const Bytes& section) {
    RecordingScanRowWriter window;
    // A copy of exactly the section's size, so that a sanitizer sees any read past it.
    Bytes exact(section);
    decoder(exact.data(), static_cast<int>(exact.size()), &window);
    return window.calls;
}

Bytes Pat(unsigned transportStreamId, const std::vector<std::pair<unsigned, unsigned>>& entries) {
    Bytes body = LongHeader(transportStreamId, 1);
    for (auto [program, pid] : entries) {
        Put16(body, program);
        Put16(body, pid);
    }
    return Section(0x00, body);
}

struct PmtStream {
    uint8_t type;
    unsigned pidField;
    Bytes descriptors;
};

Bytes Pmt(unsigned programNumber, unsigned pcrPid, const Bytes& programDescriptors,
          const std::vector<PmtStream>& streams) {
    Bytes body = LongHeader(programNumber, 2);
    Put16(body, 0xE000 | pcrPid);
    Put16(body, 0xF000 | programDescriptors.size());
    Append(body, programDescriptors);
    for (const PmtStream& s : streams) {
        body.push_back(s.type);
        Put16(body, s.pidField);
        Put16(body, 0xF000 | s.descriptors.size());
        Append(body, s.descriptors);
    }
    return Section(0x02, body);
}

Bytes StreamId(uint8_t tag) { return Descriptor(0x52, {tag}); }

TEST(PatDecoder, HandsOverEveryEntryInOrderWithTheReservedBitsMasked) {
    struct Case {
        const char* name;
        Bytes section;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"header and CRC only", Pat(7, {}), {}},
        {"network PID entry and programs",
         Pat(1110, {{0, 0xE010}, {28006, 0xE064}, {898, 0x0200}}),
         {"AddPatEntry 1110 0 16", "AddPatEntry 1110 28006 100", "AddPatEntry 1110 898 512"}},
        {"all PID bits set", Pat(1, {{5, 0xFFFF}}), {"AddPatEntry 1 5 8191"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.expected.empty()) {
            ASSERT_EQ(c.section.size(), 12u);
        }
        EXPECT_EQ(DecodeWith(si::DecodePat, c.section), c.expected);
    }
}

TEST(PmtDecoder, ComponentTagComesOnlyFromTheStreamsOwnIdentifier) {
    struct Case {
        const char* name;
        Bytes programDescriptors;
        std::vector<PmtStream> streams;
        std::vector<std::string> expected;
    };
    const Bytes language = Descriptor(0x0A, Text("deu") + Bytes{0});
    const Case cases[] = {
        {"no descriptor gives 0", {}, {{2, 0xE100, {}}}, {"AddPmtStream 28006 256 256 2 0"}},
        {"tag does not carry over to the next stream",
         {},
         {{2, 0xE100, StreamId(0x01)}, {3, 0xE101, language}},
         {"AddPmtStream 28006 256 256 2 1", "AddPmtStream 28006 256 257 3 0"}},
        {"program-level identifier is ignored",
         StreamId(0x09),
         {{2, 0xE100, {}}, {4, 0xE102, language}},
         {"AddPmtStream 28006 256 256 2 0", "AddPmtStream 28006 256 258 4 0"}},
        {"the last of several identifiers wins",
         {},
         {{6, 0xE103, StreamId(0x11) + language + StreamId(0x22)}},
         {"AddPmtStream 28006 256 259 6 34"}},
        {"identifier without payload is dropped",
         {},
         {{6, 0xE103, Descriptor(0x52, {})}},
         {"AddPmtStream 28006 256 259 6 0"}},
        {"PID mask 0x1FFF", {}, {{0x81, 0xFFFF, StreamId(0xFF)}}, {"AddPmtStream 28006 256 8191 129 255"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeWith(si::DecodePmt, Pmt(28006, 256, c.programDescriptors, c.streams)), c.expected);
    }
}

TEST(PmtDecoder, StreamKindFollowsTheTypeAndForPrivateDataItsDescriptor) {
    using si::StreamKind;
    struct Case {
        uint8_t type;
        Bytes descriptors;
        StreamKind kind;
    };
    const Bytes teletext = Descriptor(0x56, Text("deu") + Bytes{0x09, 0x00});
    const Bytes subtitling = Descriptor(0x59, Text("deu") + Bytes{0x10, 0x00, 0x01, 0x00, 0x01});
    const Case cases[] = {
        {0x01, {}, StreamKind::Video},    {0x02, {}, StreamKind::Video},    {0x10, {}, StreamKind::Video},
        {0x1B, {}, StreamKind::Video},    {0x24, {}, StreamKind::Video},    {0x03, {}, StreamKind::Audio},
        {0x04, {}, StreamKind::Audio},    {0x0F, {}, StreamKind::Audio},    {0x11, {}, StreamKind::Audio},
        {0x81, {}, StreamKind::Audio},    {0x05, {}, StreamKind::Other},    {0x06, {}, StreamKind::Data},
        {0x06, Descriptor(0x6A, {0}), StreamKind::Audio},   {0x06, Descriptor(0x7A, {0}), StreamKind::Audio},
        {0x06, Descriptor(0x7B, {0, 0, 0, 0, 0}), StreamKind::Audio}, {0x06, Descriptor(0x7C, {0}), StreamKind::Audio},
        {0x06, teletext, StreamKind::Teletext}, {0x06, subtitling, StreamKind::Subtitle},
        // SMPTE 302M registers as "BSSD"; another registration, or one cut short, is data.
        {0x06, Descriptor(0x05, Text("BSSD")), StreamKind::Audio}, {0x06, Descriptor(0x05, Text("HEVC")), StreamKind::Data},
        {0x06, Descriptor(0x05, Text("BSS")), StreamKind::Data},
        // A descriptor of another stream type's meaning says nothing of video.
        {0x1B, teletext, StreamKind::Video},
        // A teletext descriptor cut short still says what the stream is.
        {0x06, StreamId(0x10) + Descriptor(0x56, {}), StreamKind::Teletext},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " descriptors " << c.descriptors.size());
        RecordingScanRowWriter window;
        Bytes section = Pmt(28006, 256, {}, {{c.type, 0xE100, c.descriptors}});
        si::DecodePmt(section.data(), static_cast<int>(section.size()), &window);
        ASSERT_EQ(window.kinds.size(), 1u);
        EXPECT_EQ(window.kinds[0], c.kind);
    }
}

}  // namespace
