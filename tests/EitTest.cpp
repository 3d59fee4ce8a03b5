#include <gtest/gtest.h>

#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

struct EitHeader {
    uint8_t tableId = 0x4E;
    unsigned serviceId = 28006;
    unsigned version = 3;
    unsigned sectionNumber = 0;
    unsigned lastSectionNumber = 0;
    unsigned transportStreamId = 1;
    unsigned segmentLastSectionNumber = 0;
};

Bytes Event(unsigned eventId, const Bytes& descriptors, int loopLengthField = -1) {
    Bytes e;
    Put16(e, eventId);
    Append(e, {0xC0, 0x79, 0x12, 0x45, 0x00, 0x00, 0x30, 0x00});
    const unsigned loopLength = loopLengthField < 0 ? descriptors.size() : static_cast<unsigned>(loopLengthField);
    Put16(e, 0x8000 | loopLength);
    Append(e, descriptors);
    return e;
}

Bytes Eit(const EitHeader& h, const Bytes& events = {}) {
    Bytes body = LongHeader(h.serviceId, h.version, h.sectionNumber, h.lastSectionNumber);
    Put16(body, h.transportStreamId);
    Put16(body, 0x0085);
    body.push_back(static_cast<uint8_t>(h.segmentLastSectionNumber));
    body.push_back(h.tableId);
    Append(body, events);
    return Section(h.tableId, body);
}

// The socket's event store with the decoder's diagnostics wired to a switch
// and a list of shown messages.
struct EventStoreFixture : ::testing::Test {
    fw::StringToObjectMap store;
    int debugSetting = 0;
    int debugReads = 0;
    std::vector<std::string> messages;
    si::EitDiagnostics diagnostics{[this] { return ++debugReads, debugSetting; },
                                   [this](const std::string& text) { messages.push_back(text); }};

    ~EventStoreFixture() override { si::ClearEventStore(store); }

    int Feed(const Bytes& section) {
        Bytes exact(section);
        return si::DecodeEit(exact.data(), static_cast<int>(exact.size()), store, diagnostics);
    }
    int Feed(EitHeader h, unsigned section, unsigned segmentLast, unsigned last) {
        h.sectionNumber = section;
        h.segmentLastSectionNumber = segmentLast;
        h.lastSectionNumber = last;
        return Feed(Eit(h));
    }
};

TEST(EitSectionTracker, KeyHasTheFixedWidthsOfTheStore) {
    EXPECT_EQ(si::EitSectionTracker::Key(0x4E, 1, 28006, 3, 1), "4E     1 28006   3 1");
    EXPECT_EQ(si::EitSectionTracker::Key(0x6F, 65535, 0, 31, 0), "6F 65535     0  31 0");
}

using EitDecoder = EventStoreFixture;

TEST_F(EitDecoder, CompletenessFollowsTheAnnouncedSegments) {
    struct Step {
        unsigned section, segmentLast, last;
        int expected;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"single section table", {{0, 0, 0, 1}}},
        {"last section 9",
         {{0, 1, 9, 0}, {1, 1, 9, 0}, {8, 9, 9, 0}, {9, 9, 9, 1}}},
        {"schedule with an unseen segment 1",
         {{0, 2, 0x10, 0}, {1, 2, 0x10, 0}, {2, 2, 0x10, 0}, {0x10, 0x10, 0x10, 0}, {8, 8, 0x10, 1}}},
        {"sections after a segment's announced last are not needed",
         {{0, 0, 8, 0}, {8, 8, 8, 1}}},
        // Section 9 announces a segment 1 whose section 8 never came.
        {"once complete, stays complete", {{0, 0, 0, 1}, {9, 15, 15, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        si::ClearEventStore(store);
        for (const Step& s : c.steps) EXPECT_EQ(Feed({}, s.section, s.segmentLast, s.last), s.expected) << s.section;
    }
}

TEST_F(EitDecoder, EverySubTableMustBeCompleteBeforeTheResultIsOne) {
    EitHeader serviceA, serviceB;
    serviceA.serviceId = 10;
    serviceB.serviceId = 11;
    EXPECT_EQ(Feed(serviceA, 0, 0, 0), 1);
    EXPECT_EQ(Feed(serviceB, 0, 1, 1), 0);
    EXPECT_EQ(Feed(serviceA, 0, 0, 0), 0);
    EXPECT_EQ(Feed(serviceB, 1, 1, 1), 1);
    EXPECT_EQ(store.GetCount(), 2);

    // A new version is a sub-table of its own; the unfinished old one keeps
    // the result at 0 until the store is cleared.
    EitHeader v3, v4;
    v4.version = 4;
    si::ClearEventStore(store);
    EXPECT_EQ(Feed(v3, 0, 1, 1), 0);
    EXPECT_EQ(Feed(v4, 0, 0, 0), 0);
    EXPECT_EQ(store.GetCount(), 2);
    EXPECT_EQ(Feed(v3, 1, 1, 1), 1);

    // The current/next indicator and the table id separate sub-tables too.
    si::ClearEventStore(store);
    EitHeader schedule;
    schedule.tableId = 0x50;
    EXPECT_EQ(Feed(schedule, 0, 0, 0), 1);
    Bytes next = Eit({});
    next[5] &= 0xFE;
    EXPECT_EQ(Feed(next), 1);
    EXPECT_EQ(store.GetCount(), 2);
    fw::Object* found = nullptr;
    EXPECT_TRUE(store.Lookup("4E     1 28006   3 0", found));
    EXPECT_TRUE(store.Lookup("50     1 28006   3 1", found));
}

TEST_F(EitDecoder, LoopMismatchesAreShownOnlyWhenTheSwitchIsOn) {
    // 8 and 9 bytes long
    const Bytes shortName = Descriptor(0x4D, Text("deu") + Bytes{1, 'X', 0});
    const Bytes nineBytes = Descriptor(0x4D, Text("deu") + Bytes{2, 'X', 'Y', 0});
    struct Case {
        const char* name;
        Bytes events;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"consistent events", Event(1, shortName) + Event(2, shortName + shortName), {}},
        {"no event at all", {}, {}},
        // A loop length one byte short of its descriptor: the stepping ends off
        // the loop's end, and the next event is read from where it stopped, so
        // the walk still meets the CRC.
        {"descriptor past its loop", Event(1, shortName, 7) + Event(2, {}), {"EpgDvbSocket: pos != endPos\n"}},
        // 0x123 overshoots the section and is taken as 0x23: the 9-byte
        // descriptors step to 0x24, one past it (and right onto the CRC).
        {"masked expected end", Event(1, nineBytes + nineBytes + nineBytes + nineBytes, 0x123),
         {"EpgDvbSocket: pos != endPos\n"}},
        // Two stray bytes after the last event: too few for an event header.
        {"bytes after the last event", Event(1, shortName) + Bytes{0, 0}, {"EpgDvbSocket: pos != len-4\n"}},
        {"masked expected end met exactly",
         Event(1, Descriptor(0x4D, Bytes(0x21, 'a')), 0x123),
         {}},
        // The mask keeps bit 9: 0x323 is taken as 0x223, still past the
        // section, so the descriptors that end at 0x23 do not meet it.
        {"bit 9 survives the mask", Event(1, Descriptor(0x4D, Bytes(0x21, 'a')), 0x323),
         {"EpgDvbSocket: pos != endPos\n", "EpgDvbSocket: pos != len-4\n"}},
    };
    for (int debug : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (debug ? " (debug on)" : " (debug off)"));
            debugSetting = debug;
            messages.clear();
            si::ClearEventStore(store);
            EXPECT_EQ(Feed(Eit({}, c.events)), 1);
            EXPECT_EQ(messages, debug ? c.messages : std::vector<std::string>{});
        }
    }
}

TEST_F(EitDecoder, ShortSectionsAreTrackedAndReportedByTheirByteCount) {
    debugSetting = 7;
    // 18 bytes: the header and the CRC, the length the walk expects.
    EXPECT_EQ(Feed(Eit({})), 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(debugReads, 0);

    // 17 bytes (the CRC cut to three) are still tracked, and do not add up.
    Bytes cut = Eit({});
    cut.pop_back();
    EitHeader other;
    other.serviceId = 99;
    Bytes cutOther = Eit(other);
    cutOther.pop_back();
    EXPECT_EQ(Feed(cutOther), 1);
    EXPECT_EQ(messages, std::vector<std::string>{"EpgDvbSocket: pos != len-4\n"});
    EXPECT_EQ(store.GetCount(), 2);

    // Without the whole header there is nothing to track.
    Bytes header = Eit({});
    header.resize(12);
    EXPECT_EQ(Feed(header), 0);
    EXPECT_EQ(store.GetCount(), 2);
}

TEST(EitEventStore, ClearDeletesTrackersAndDropsEmptyEntries) {
    struct Counted : fw::Object {
        int* deleted;
        explicit Counted(int* d) : deleted(d) {}
        ~Counted() override { ++*deleted; }
    };
    int deleted = 0;
    fw::StringToObjectMap store;
    store.SetAt("a", new Counted(&deleted));
    store.SetAt("b", nullptr);
    store.SetAt("c", new Counted(&deleted));
    si::ClearEventStore(store);
    EXPECT_EQ(deleted, 2);
    EXPECT_TRUE(store.IsEmpty());
}

}  // namespace
