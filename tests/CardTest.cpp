#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "card/TTCommDVB.h"
#include "cardlib/Backend.h"
#include "cardlib/Card.h"
#include "framework/headless/HeadlessHost.h"

namespace {

using Bytes = std::vector<uint8_t>;

class RecordingSocket : public CDVBWinSock {
public:
    void OnDataReceived(unsigned char* data, int length) override {
        received.emplace_back(data, data + length);
        if (onData) onData(*this);
    }
    std::vector<Bytes> received;
    std::function<void(RecordingSocket&)> onData;
};

// A section of `size` bytes whose header announces exactly that size.
Bytes Section(uint8_t tableId, size_t size = 16, uint8_t fill = 0) {
    Bytes s(size, fill);
    s[0] = tableId;
    const size_t sectionLength = size - 3;
    s[1] = static_cast<uint8_t>(0xB0 | (sectionLength >> 8));
    s[2] = static_cast<uint8_t>(sectionLength);
    return s;
}

class CardTest : public ::testing::Test {
protected:
    void SetUp() override { card.Attach(host); }
    // Sets a one-byte filter and opens the socket on it.
    void Open(CPIDFilter& filter, CDVBWinSock& socket, uint16_t pid, uint8_t value, uint8_t mask) {
        ASSERT_EQ(filter.SetBitFilter(pid, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
        int error = 0;
        ASSERT_EQ(socket.SOpen(filter.GetFilterHandle(), &error), 1);
    }

    fw::HeadlessHost host;
    cardlib::Card card;
};

TEST_F(CardTest, FilterHandleReadsNoneUnlessSet) {
    CPIDFilter a, b;
    EXPECT_EQ(a.GetFilterHandle(), 0xFFFF);
    uint8_t value = 0x42, mask = 0xFF;
    EXPECT_EQ(a.SetBitFilter(0x11, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
    EXPECT_EQ(b.SetBitFilter(0x11, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
    EXPECT_NE(a.GetFilterHandle(), 0xFFFF);
    EXPECT_NE(b.GetFilterHandle(), 0xFFFF);
    EXPECT_NE(a.GetFilterHandle(), b.GetFilterHandle());
    EXPECT_EQ(a.ShutDownFilter(), CCommonDVB::DVB_ERR_NONE);
    EXPECT_EQ(a.GetFilterHandle(), 0xFFFF);
    // Shutting down a filter that is not set is an error, not a crash.
    EXPECT_NE(a.ShutDownFilter(), CCommonDVB::DVB_ERR_NONE);
}

TEST_F(CardTest, InjectedFaultsAreReturnedAndCounted) {
    CPIDFilter filter;
    uint8_t value = 0x00, mask = 0x80;
    auto& faults = card.Faults();

    faults.setBitFilter = 7;
    EXPECT_EQ(filter.SetBitFilter(0, &value, &mask, 1, 0), 7);
    EXPECT_EQ(filter.GetFilterHandle(), 0xFFFF);

    faults.setBitFilter = 0;
    ASSERT_EQ(filter.SetBitFilter(0, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
    // A failing SetBitFilter on a set filter leaves none behind either.
    faults.setBitFilter = 3;
    EXPECT_EQ(filter.SetBitFilter(0, &value, &mask, 1, 0), 3);
    EXPECT_EQ(filter.GetFilterHandle(), 0xFFFF);
    faults.setBitFilter = 0;
    ASSERT_EQ(filter.SetBitFilter(0, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
    EXPECT_NE(filter.GetFilterHandle(), 0xFFFF);

    faults.shutDownFilter = 5;
    EXPECT_EQ(filter.ShutDownFilter(), 5);
    EXPECT_NE(filter.GetFilterHandle(), 0xFFFF);

    RecordingSocket socket;
    faults.sOpenError = 10055;
    int error = 0;
    EXPECT_EQ(socket.SOpen(filter.GetFilterHandle(), &error), 0);
    EXPECT_EQ(error, 10055);

    faults.getFrequency = 2;
    unsigned long frequency = 123;
    CFrontend frontend;
    EXPECT_EQ(frontend.GetFrequency(frequency), 2);
    EXPECT_EQ(frequency, 123u);
    frontend.SetFrequency(346000, 2);
    socket.SClose();

    const cardlib::CardCalls& calls = card.Calls();
    EXPECT_EQ(calls.setBitFilter, 4);
    EXPECT_EQ(calls.shutDownFilter, 1);
    EXPECT_EQ(calls.sOpen, 1);
    EXPECT_EQ(calls.sClose, 1);
    EXPECT_EQ(calls.getFrequency, 1);
    EXPECT_EQ(calls.setFrequency, 1);
    EXPECT_EQ(calls.lastSetFrequency, 346000u);
    EXPECT_EQ(calls.lastSetFrequencyFlags, 2);

    faults.shutDownFilter = 0;
    EXPECT_EQ(filter.ShutDownFilter(), CCommonDVB::DVB_ERR_NONE);
}

TEST_F(CardTest, BadFilterArgumentsAreRefused) {
    CPIDFilter filter;
    uint8_t bytes[17] = {};
    EXPECT_EQ(filter.SetBitFilter(0x2000, bytes, bytes, 1, 0), CCommonDVB::DVB_ERR_BAD_ARGUMENT);
    EXPECT_EQ(filter.SetBitFilter(0x10, bytes, bytes, 17, 0), CCommonDVB::DVB_ERR_BAD_ARGUMENT);
    EXPECT_EQ(filter.SetBitFilter(0x10, nullptr, bytes, 1, 0), CCommonDVB::DVB_ERR_BAD_ARGUMENT);
    EXPECT_EQ(filter.GetFilterHandle(), 0xFFFF);
}

TEST_F(CardTest, SOpenOnAHandleWithoutFilterFails) {
    RecordingSocket socket;
    int error = 0;
    EXPECT_EQ(socket.SOpen(0xFFFF, &error), 0);
    EXPECT_NE(error, 0);
    error = 0;
    EXPECT_EQ(socket.SOpen(1234, &error), 0);
    EXPECT_NE(error, 0);
}

// The requests the system makes: value and mask compared with the table id.
TEST_F(CardTest, ValueUnderMaskMatchesLeadingBytes) {
    struct Case {
        const char* name;
        uint8_t value, mask;
        std::vector<uint8_t> passes, blocked;
    };
    const Case cases[] = {
        {"NIT", 0x40, 0xF0, {0x40, 0x41, 0x46, 0x4F}, {0x00, 0x02, 0x50, 0x70}},
        {"PAT", 0x00, 0x80, {0x00, 0x01, 0x42, 0x7F}, {0x80, 0x93, 0xFF}},
        {"PMT", 0x02, 0x02, {0x02, 0x03, 0x42, 0x4E}, {0x00, 0x01, 0x40, 0x70}},
        {"SDT", 0x42, 0xFF, {0x42}, {0x40, 0x46, 0x43}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPIDFilter filter;
        RecordingSocket socket;
        Open(filter, socket, 0x20, c.value, c.mask);
        for (uint8_t id : c.passes) card.InjectSection(0x20, Section(id));
        for (uint8_t id : c.blocked) card.InjectSection(0x20, Section(id));
        host.Advance(0);
        std::vector<uint8_t> got;
        for (const Bytes& s : socket.received) got.push_back(s[0]);
        EXPECT_EQ(got, c.passes);
        filter.ShutDownFilter();
        socket.SClose();
    }
}

TEST_F(CardTest, LongerFiltersCompareFollowingBytesAndNeedThemPresent) {
    CPIDFilter filter;
    RecordingSocket socket;
    // Table id 0x02 and program number 0x0102 (bytes 3 and 4); length bytes masked out.
    uint8_t value[5] = {0x02, 0, 0, 0x01, 0x02};
    uint8_t mask[5] = {0xFF, 0, 0, 0xFF, 0xFF};
    ASSERT_EQ(filter.SetBitFilter(0x100, value, mask, 5, 0), CCommonDVB::DVB_ERR_NONE);
    int error = 0;
    ASSERT_EQ(socket.SOpen(filter.GetFilterHandle(), &error), 1);
    Bytes match = Section(0x02, 20), other = Section(0x02, 20), tooShort = {0x02, 0xB0, 0x01, 0x01};
    match[3] = 0x01, match[4] = 0x02;
    other[3] = 0x01, other[4] = 0x03;
    card.InjectSection(0x100, other);
    card.InjectSection(0x100, tooShort);
    card.InjectSection(0x100, match);
    host.Advance(0);
    ASSERT_EQ(socket.received.size(), 1u);
    EXPECT_EQ(socket.received[0], match);
}

TEST_F(CardTest, SectionsArriveThroughTheHostOncePerSectionInOrder) {
    CPIDFilter filter, other;
    RecordingSocket socket, otherSocket;
    Open(filter, socket, 0x11, 0x42, 0xFF);
    Open(other, otherSocket, 0x10, 0x40, 0xF0);
    const Bytes first = Section(0x42, 30, 0xAA), second = Section(0x42, 4096, 0xBB);
    card.InjectSection(0x11, first);
    card.InjectSection(0x12, Section(0x42));  // right table id, wrong PID
    card.InjectSection(0x10, Section(0x50));  // right PID for `other`, wrong table id
    card.InjectSection(0x11, second);
    // Nothing is delivered from inside the call: it comes on the GUI thread later.
    EXPECT_TRUE(socket.received.empty());
    EXPECT_EQ(host.PendingEvents(), 1u);
    host.Advance(0);
    ASSERT_EQ(socket.received.size(), 2u);
    EXPECT_EQ(socket.received[0], first);
    EXPECT_EQ(socket.received[1], second);
    EXPECT_TRUE(otherSocket.received.empty());
    EXPECT_EQ(host.PendingEvents(), 0u);
}

TEST_F(CardTest, ClosingInTheDataHookDropsTheRest) {
    CPIDFilter filter;
    RecordingSocket socket;
    Open(filter, socket, 0x00, 0x00, 0x80);
    socket.onData = [&](RecordingSocket& s) {
        filter.ShutDownFilter();
        s.SClose();
    };
    card.InjectSection(0x00, Section(0x00));
    card.InjectSection(0x00, Section(0x00));
    host.Advance(0);
    card.InjectSection(0x00, Section(0x00));
    host.Advance(0);
    EXPECT_EQ(socket.received.size(), 1u);
}

TEST_F(CardTest, SCloseDropsQueuedSectionsAndUnbinds) {
    CPIDFilter filter;
    RecordingSocket socket;
    Open(filter, socket, 0x10, 0x40, 0xF0);
    card.InjectSection(0x10, Section(0x40));
    socket.SClose();
    card.InjectSection(0x10, Section(0x40));
    host.Advance(10);
    EXPECT_TRUE(socket.received.empty());
    EXPECT_EQ(host.PendingEvents(), 0u);
}

TEST_F(CardTest, DestroyingASocketWithPendingDeliveryIsSafe) {
    CPIDFilter filter;
    {
        RecordingSocket socket;
        Open(filter, socket, 0x10, 0x40, 0xF0);
        card.InjectSection(0x10, Section(0x40));
    }
    host.Advance(10);
    EXPECT_EQ(host.PendingEvents(), 0u);
}

TEST_F(CardTest, DetachHoldsDeliveriesUntilAttachedAgain) {
    CPIDFilter filter;
    RecordingSocket socket;
    Open(filter, socket, 0x10, 0x40, 0xF0);
    card.InjectSection(0x10, Section(0x40));
    card.Detach();
    EXPECT_EQ(host.PendingEvents(), 0u);
    card.InjectSection(0x10, Section(0x41));
    fw::HeadlessHost other;
    card.Attach(other);
    other.Advance(0);
    ASSERT_EQ(socket.received.size(), 2u);
    EXPECT_EQ(socket.received[1][0], 0x41);
}

TEST_F(CardTest, FrontEndReportsTheFrequencyItWasTunedTo) {
    CFrontend frontend;
    frontend.SetFrequency(442000, 1);
    unsigned long frequency = 0;
    EXPECT_EQ(frontend.GetFrequency(frequency), CCommonDVB::DVB_ERR_NONE);
    EXPECT_EQ(frequency, 442000u);
    EXPECT_EQ(card.Frequency(), 442000u);
    // A short-lived front end on the stack reaches the same tuner.
    CFrontend another;
    frequency = 0;
    another.GetFrequency(frequency);
    EXPECT_EQ(frequency, 442000u);
}

// A card made while another lives takes over until it goes; a filter or
// socket that outlives its card fails instead of reaching freed state.
TEST(CardLifetime, NewerCardTakesOverAndWhatOutlivesItIsCutOff) {
    fw::HeadlessHost host;
    cardlib::Card outer;
    std::unique_ptr<CPIDFilter> filter;
    std::unique_ptr<RecordingSocket> socket;
    uint8_t value = 0x42, mask = 0xFF;
    {
        cardlib::Card inner;
        inner.Attach(host);
        EXPECT_EQ(&cardlib::Card::Current(), &inner);
        filter = std::make_unique<CPIDFilter>();
        socket = std::make_unique<RecordingSocket>();
        ASSERT_EQ(filter->SetBitFilter(0x11, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
        int error = 0;
        ASSERT_EQ(socket->SOpen(filter->GetFilterHandle(), &error), 1);
        inner.InjectSection(0x11, Section(0x42));
    }
    EXPECT_EQ(&cardlib::Card::Current(), &outer);
    host.Advance(0);
    EXPECT_TRUE(socket->received.empty());
    EXPECT_EQ(filter->GetFilterHandle(), 0xFFFF);
    EXPECT_EQ(filter->SetBitFilter(0x11, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NOT_OPEN);
    int error = 0;
    EXPECT_EQ(socket->SOpen(1, &error), 0);
    EXPECT_EQ(outer.Calls().setBitFilter + outer.Calls().sOpen, 0);
    socket.reset();
    filter.reset();
}

// A backend that says something each time it starts.
class TalkingBackend final : public cardlib::Backend {
public:
    unsigned long HomeFrequency() const override { return 346000; }
    void Tune(unsigned long, int64_t) override {}
    void Start(fw::Host&, cardlib::PacketSink& sink) override {
        sink.OnStatusLine("line");
        sink.OnProblem("first");
        sink.OnProblem("second");
    }
    void Stop() override {}
};

class Heard final : public cardlib::CardListener {
public:
    void OnCardStatus(const std::string& text) override { said.push_back("status " + text); }
    void OnCardProblem(const std::string& text) override { said.push_back("problem " + text); }
    std::vector<std::string> said;
};

TEST(CardListener, LinesComeAtOnceProblemsFromTheHostsQueueAndWaitForAListener) {
    fw::HeadlessHost host;
    cardlib::Card card;
    card.UseBackend(std::make_unique<TalkingBackend>());
    card.Attach(host);
    Heard heard;
    CPIDFilter filter;
    uint8_t value = 0x00, mask = 0xFF;
    // Nobody listens as the backend starts: the line goes, the problems wait.
    ASSERT_EQ(filter.SetBitFilter(0x00, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
    host.Advance(0);
    card.SetListener(&heard);
    EXPECT_TRUE(heard.said.empty());
    host.Advance(0);
    EXPECT_EQ(heard.said, (std::vector<std::string>{"problem first", "problem second"}));
    // Listening as it starts again: the line within the card's call, the
    // problems only after it, in order.
    heard.said.clear();
    ASSERT_EQ(filter.ShutDownFilter(), CCommonDVB::DVB_ERR_NONE);
    ASSERT_EQ(filter.SetBitFilter(0x00, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
    EXPECT_EQ(heard.said, std::vector<std::string>{"status line"});
    host.Advance(0);
    EXPECT_EQ(heard.said, (std::vector<std::string>{"status line", "problem first", "problem second"}));
    card.SetListener(nullptr);
}

}  // namespace
