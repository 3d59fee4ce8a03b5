// Sections cut short or with length fields that claim more than there is: no
// decoder reads past `length`, a decoder hands over only entries that are
// there in full, and what it handed over before the cut stays as it was.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "si/Decoders.h"
#include "broadcast/SectionReader.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

using RowDecoder = void (*)(const unsigned char*, int, ScanRowWriter*);

std::vector<std::string> Rows(RowDecoder decode, const Bytes& bytes, int length) {
    RecordingScanRowWriter window;
    // Exactly `length` bytes on the heap, so a sanitizer build catches any read past them.
    Bytes exact(bytes.begin(), bytes.begin() + std::max(0, std::min<int>(length, static_cast<int>(bytes.size()))));
    decode(exact.empty() ? nullptr : exact.data(), length, &window);
    return window.calls;
}

bool IsPrefix(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

Bytes CableEntry(unsigned ts) {
    Bytes e;
    Put16(e, ts);
    Put16(e, 0x85);
    const Bytes d = Descriptor(0x44, {0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00, 0x05});
    Put16(e, 0xF000 | d.size());
    Append(e, d);
    return e;
}

Bytes SampleNit() {
    Bytes body = LongHeader(0x85, 1);
    const Bytes name = Descriptor(0x40, Text("Kabel"));
    Put16(body, 0xF000 | name.size());
    Append(body, name);
    const Bytes loop = CableEntry(1) + CableEntry(2) + CableEntry(3);
    Put16(body, 0xF000 | loop.size());
    Append(body, loop);
    return Section(0x40, body);
}

Bytes SampleSdt() {
    Bytes body = LongHeader(1101, 2);
    Put16(body, 1);
    body.push_back(0xFF);
    auto service = [&](unsigned id, const Bytes& d) {
        Put16(body, id);
        body.push_back(0xFC);
        Put16(body, 0x8000 | d.size());
        Append(body, d);
    };
    service(1, Descriptor(0x48, Bytes{1, 3} + Text("ARD") + Bytes{9} + Text("Das Erste")) +
                   Descriptor(0x53, {0x17, 0x22}));
    service(2, Descriptor(0x4C, {0x00, 0x01}));
    service(3, Descriptor(0x48, Bytes{24, 1, 'P', 2, 'M', 'V'}) +
                   Descriptor(0x4B, {0, 1, 0, 1, 0, 4, 0, 1, 0, 1, 0, 5}));
    return Section(0x42, body);
}

Bytes SamplePmt() {
    Bytes body = LongHeader(28006, 1);
    Put16(body, 0xE000 | 101);
    const Bytes info = Descriptor(0x09, {0x17, 0x22, 0xE1, 0x00});
    Put16(body, 0xF000 | info.size());
    Append(body, info);
    for (unsigned pid : {101u, 102u, 104u}) {
        body.push_back(pid == 101 ? 2 : 4);
        Put16(body, 0xE000 | pid);
        const Bytes d = Descriptor(0x52, {static_cast<uint8_t>(pid)}) + Descriptor(0x0A, {'d', 'e', 'u', 0});
        Put16(body, 0xF000 | d.size());
        Append(body, d);
    }
    return Section(0x02, body);
}

Bytes SamplePat() {
    Bytes body = LongHeader(1101, 1);
    for (unsigned p : {0u, 28006u, 28007u}) {
        Put16(body, p);
        Put16(body, 0xE000 | (p / 10));
    }
    return Section(0x00, body);
}

struct RowCase {
    const char* name;
    RowDecoder decode;
    Bytes section;
    // Offsets of the 12-bit length fields (the byte holding the high nibble).
    std::vector<size_t> lengthFields;
};

std::vector<RowCase> RowCases() {
    return {
        {"PAT", si::DecodePat, SamplePat(), {1}},
        {"PMT", si::DecodePmt, SamplePmt(), {1, 10, 21, 35, 49}},
        {"NIT", si::DecodeNit, SampleNit(), {1, 8, 17, 23, 42, 61}},
        {"SDT", si::DecodeSdt, SampleSdt(), {1, 14, 40, 49}},
    };
}

TEST(TruncatedSections, HandOverOnlyWholeEntriesBeforeTheCut) {
    for (const RowCase& c : RowCases()) {
        SCOPED_TRACE(c.name);
        const int size = static_cast<int>(c.section.size());
        const auto whole = Rows(c.decode, c.section, size);
        ASSERT_GE(whole.size(), 2u);
        for (int length = -1; length < size; ++length) {
            const auto part = Rows(c.decode, c.section, length);
            EXPECT_TRUE(IsPrefix(part, whole)) << "length " << length;
        }
        for (int length : {INT_MIN, -4, 0, 3}) EXPECT_TRUE(Rows(c.decode, c.section, length).empty());
    }
}

TEST(OverlongLengthFields, NeverReachPastTheSection) {
    for (const RowCase& c : RowCases()) {
        SCOPED_TRACE(c.name);
        const int size = static_cast<int>(c.section.size());
        const auto whole = Rows(c.decode, c.section, size);
        for (size_t at : c.lengthFields) {
            for (uint16_t claim : {0x0FFF, 0x0100}) {
                Bytes mutated = c.section;
                mutated[at] = static_cast<uint8_t>((mutated[at] & 0xF0) | claim >> 8);
                mutated[at + 1] = static_cast<uint8_t>(claim);
                EXPECT_TRUE(IsPrefix(Rows(c.decode, mutated, size), whole)) << "field at " << at;
            }
        }
    }
}

TEST(OverlongLengthFields, OtherDecodersStayInsideAnyBytes) {
    // Every 16-bit position set to 0xFFFF and to 0x0000 in turn, every cut:
    // the decoders without rows must come back (a sanitizer build checks the reads).
    fw::StringToObjectMap store;
    si::EitDiagnostics diagnostics{[] { return 1; }, [](const std::string&) {}};
    const std::string nowhere = (std::filesystem::temp_directory_path() / "kelvane-no-such-dir" / "x").string() + "/";
    Bytes eit = Section(0x4E, LongHeader(28006, 3) + Bytes{0, 1, 0, 0x85, 0, 0x4E, 0, 1, 0xC0, 0x79, 0x12, 0x45, 0x00, 0,
                                                             0x30, 0, 0x80, 9} + Descriptor(0x4D, Text("deu") + Bytes{2, 'X', 'Y', 0}));
    Bytes tot = Section(0x73, Bytes{0xC0, 0x79, 0x12, 0x45, 0x00, 0xF0, 15} +
                                  Descriptor(0x58, Text("DEU") + Bytes{2, 1, 0, 0xC0, 0x79, 0x12, 0x45, 0, 2, 0}),
                        false);
    Bytes tdt{0x70, 0x70, 0x05, 0xC0, 0x79, 0x12, 0x45, 0x00};
    Bytes cat = Section(0x01, Bytes{0xFF, 0xFF, 0xC1, 0, 0} + Descriptor(0x09, {0x17, 0x22, 0xE1, 0x00}));
    Bytes bat = Section(0x4A, LongHeader(1, 1) + Bytes{0xF0, 3} + Descriptor(0x47, {'B'}) + Bytes{0xF0, 6, 0, 1, 0, 1, 0xF0, 0});
    Bytes dump = Section(0x93, Bytes(9, 0x11) + Bytes{1, 2, 3}, false);

    int runs = 0;
    for (const Bytes& original : {eit, tot, tdt, cat, bat, dump}) {
        for (size_t at = 0; at + 1 < original.size(); ++at) {
            for (uint8_t fill : {0xFF, 0x00}) {
                Bytes mutated = original;
                mutated[at] = mutated[at + 1] = fill;
                for (int length = -1; length <= static_cast<int>(mutated.size()); ++length) {
                    Bytes exact(mutated.begin(), mutated.begin() + std::max(0, std::min<int>(length, mutated.size())));
                    const unsigned char* p = exact.empty() ? nullptr : exact.data();
                    si::DecodeEit(p, length, store, diagnostics);
                    si::DecodeTdt(p, length);
                    si::DecodeTot(p, length);
                    si::DecodeCat(p, length);
                    si::DecodeBat(p, length);
                    si::DecodeRst(p, length);
                    si::DecodePrivate80(p, length);
                    si::DecodePrivate82(p, length);
                    si::DecodePrivate93(p, length, nowhere);
                    ++runs;
                }
            }
        }
    }
    si::ClearEventStore(store);
    EXPECT_GT(runs, 1000);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(nowhere).parent_path().parent_path()));
}

}  // namespace

namespace {

// Once a read has run past the end, moving back does not make the reader
// trustworthy again: every further read gives zero and keeps the error.
TEST(SectionReader, ErrorStaysAfterSeek) {
    const Bytes bytes{0x12, 0x34, 0x56};
    si::SectionReader reader(std::span<const uint8_t>(bytes.data(), bytes.size()));
    reader.Skip(2);
    EXPECT_EQ(reader.U16(), 0);
    ASSERT_TRUE(reader.Error());
    EXPECT_FALSE(reader.Seek(0));
    EXPECT_FALSE(reader.Skip(0));
    EXPECT_EQ(reader.U8(), 0);
    EXPECT_EQ(reader.U16(), 0);
    EXPECT_EQ(reader.PeekAt(1), 0);
    EXPECT_TRUE(reader.Error());
}

}  // namespace
