#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/EpgDvbSocket.h"
#include "cardlib/Card.h"
#include "framework/Dialog.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "tests/AcquisitionTestSupport.h"
#include "tests/HostSupport.h"

namespace {

using namespace acquisition_test;
using Bytes = std::vector<unsigned char>;

// Records which decoder the dispatcher chose, instead of decoding.
class RoutingSocket : public EpgDvbSocket {
public:
    using EpgDvbSocket::EpgDvbSocket;
    static constexpr int kEitResult = 5;

    std::vector<std::string> calls;
    const unsigned char* lastData = nullptr;
    int lastLength = 0;

    void DecodePat(const unsigned char* d, int n) override { Note("PAT", d, n); }
    void DecodeCat(const unsigned char* d, int n) override { Note("CAT", d, n); }
    void DecodePmt(const unsigned char* d, int n) override { Note("PMT", d, n); }
    void DecodeRst(const unsigned char* d, int n) override { Note("RST", d, n); }
    void DecodeNit(const unsigned char* d, int n) override { Note("NIT", d, n); }
    void DecodeSdt(const unsigned char* d, int n) override { Note("SDT", d, n); }
    void DecodeBat(const unsigned char* d, int n) override { Note("BAT", d, n); }
    int DecodeEit(const unsigned char* d, int n) override {
        Note("EIT", d, n);
        return kEitResult;
    }
    void DecodeTdt(const unsigned char* d, int n) override { Note("TDT", d, n); }
    void DecodeTot(const unsigned char* d, int n) override { Note("TOT", d, n); }
    void DecodePrivate80(const unsigned char* d, int n) override { Note("80", d, n); }
    void DecodePrivate82(const unsigned char* d, int n) override { Note("82", d, n); }
    void DecodePrivate93(const unsigned char* d, int n) override { Note("93", d, n); }

private:
    void Note(const char* name, const unsigned char* d, int n) {
        calls.push_back(name);
        lastData = d;
        lastLength = n;
    }
};

struct Expectation {
    std::string decoder;  // empty: nothing handles the table id
    bool crcChecked = true;
};

Expectation Expected(int tableId) {
    if (tableId >= 0x4E && tableId <= 0x6F) return {"EIT", true};
    switch (tableId) {
        case 0x70: return {"TDT", false};
        case 0x71: return {"RST", false};
        case 0x80: return {"80", false};
        case 0x82: return {"82", false};
        case 0x00: return {"PAT", true};
        case 0x01: return {"CAT", true};
        case 0x02: return {"PMT", true};
        case 0x40: case 0x41: return {"NIT", true};
        case 0x42: case 0x46: return {"SDT", true};
        case 0x4A: return {"BAT", true};
        case 0x73: return {"TOT", true};
        case 0x93: return {"93", true};
        default: return {"", true};
    }
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        card.Attach(host);
        host.SetProfile(&profile);
    }
    void TearDown() override { std::filesystem::remove_all(scratch); }
    std::filesystem::path Scratch() {
        std::filesystem::create_directories(scratch);
        return scratch;
    }

    std::filesystem::path scratch = std::filesystem::temp_directory_path() /
                                    ("kelvane-dispatch-" + std::to_string(::getpid()) + "-" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fw::Profile profile{(scratch / "Kelvane.INI").string()};
    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Card card;
    fw::Dialog owner{host, res::IDD_PROGRAM_LIST};
};

// Every table id, whole and with a broken CRC, and with one trailing byte:
// a zero byte keeps a correct CRC correct, any other byte breaks it.
TEST_F(DispatchTest, RoutesEveryTableIdWithAndWithoutCrcCheck) {
    RoutingSocket socket(owner);
    for (int tableId = 0; tableId < 256; ++tableId) {
        const Expectation expected = Expected(tableId);
        const Bytes good = MakeSection(static_cast<unsigned char>(tableId), Bytes(20, 0x5A));
        Bytes badCrc = good;
        badCrc.back() ^= 0x01;
        Bytes trailingZero = good;
        trailingZero.push_back(0x00);
        Bytes trailingByte = good;
        trailingByte.push_back(0x2A);

        struct Variant {
            const char* name;
            const Bytes& bytes;
            bool crcPasses;
        };
        const Variant variants[] = {{"correct", good, true},
                                    {"bad CRC", badCrc, false},
                                    {"trailing zero", trailingZero, true},
                                    {"trailing non-zero", trailingByte, false}};
        for (const Variant& v : variants) {
            socket.calls.clear();
            const int result = socket.Dispatch(v.bytes.data(), static_cast<int>(v.bytes.size()));
            const bool decodes = !expected.decoder.empty() && (v.crcPasses || !expected.crcChecked);
            SCOPED_TRACE(testing::Message() << "table id 0x" << std::hex << tableId << ", " << v.name);
            if (decodes) {
                ASSERT_EQ(socket.calls, std::vector<std::string>{expected.decoder});
                EXPECT_EQ(socket.lastData, v.bytes.data());
                EXPECT_EQ(socket.lastLength, static_cast<int>(v.bytes.size()));
            } else {
                EXPECT_TRUE(socket.calls.empty()) << socket.calls.front();
            }
            EXPECT_EQ(result, decodes && expected.decoder == "EIT" ? RoutingSocket::kEitResult : 0);
        }
    }
}

TEST_F(DispatchTest, EmptyOrMissingBlocksAreDropped) {
    RoutingSocket socket(owner);
    const unsigned char tdt[] = {0x70};
    EXPECT_EQ(socket.Dispatch(nullptr, 10), 0);
    EXPECT_EQ(socket.Dispatch(tdt, 0), 0);
    EXPECT_EQ(socket.Dispatch(tdt, -3), 0);
    EXPECT_TRUE(socket.calls.empty());
    EXPECT_EQ(EpgDvbSocket::CheckCrc32(nullptr, 4), 0);
    EXPECT_EQ(EpgDvbSocket::CheckCrc32(tdt, 0), 0);
}

// The real decoders behind the dispatcher, seen through the rows the scan
// window receives.
TEST_F(DispatchTest, RecordedTablesReachTheScanWindowOnlyWithACorrectCrc) {
    Bytes sdtOther = FromHex(kFfmpegSdt);
    sdtOther[0] = 0x46;
    sdtOther.resize(sdtOther.size() - 4);
    AppendCrc(sdtOther);
    struct Case {
        const char* name;
        Bytes section;
        std::string row;
    };
    const Case cases[] = {
        {"PAT", FromHex(kFfmpegPat), "pat 1092 258 256"},
        {"PMT", FromHex(kFfmpegPmt), "pmt 258 512 3"},
        {"SDT actual", FromHex(kFfmpegSdt), "service 1092 258"},
        {"SDT other", sdtOther, "service 1092 258"},
        {"NIT actual", NitSection(0x40), "transport 1092 1"},
        {"NIT other", NitSection(0x41), "transport 1092 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingWriter window;
        EpgDvbSocket socket(owner);
        socket.SetResultWindow(&window);
        Bytes section = c.section;
        EXPECT_EQ(socket.Dispatch(section.data(), static_cast<int>(section.size())), 0);
        EXPECT_TRUE(window.Has(c.row)) << (window.rows.empty() ? "no rows" : window.rows.front());

        window.rows.clear();
        section[section.size() / 2] ^= 0x10;
        EXPECT_EQ(socket.Dispatch(section.data(), static_cast<int>(section.size())), 0);
        EXPECT_TRUE(window.rows.empty());

        // Detached, the decoders still run but nothing reaches a window.
        socket.SetResultWindow(nullptr);
        EXPECT_EQ(socket.Dispatch(c.section.data(), static_cast<int>(c.section.size())), 0);
        EXPECT_TRUE(window.rows.empty());
    }
}

TEST_F(DispatchTest, OnlyACompleteEitSubTableGivesANonZeroResult) {
    EpgDvbSocket socket(owner);
    Bytes first = EitSection(0x4E);
    EXPECT_EQ(socket.Dispatch(first.data(), static_cast<int>(first.size())), 1);
    EXPECT_EQ(socket.EventStore().GetCount(), 1);

    // Section 0 of 1: the sub-table waits for section 1, and so does the result.
    Bytes partial = MakeSection(0x50, {0x01, 0x02, 0xC3, 0x00, 0x01, 0x04, 0x44, 0x00, 0x01, 0x01, 0x50});
    EXPECT_EQ(socket.Dispatch(partial.data(), static_cast<int>(partial.size())), 0);
    partial.back() ^= 0xFF;
    EXPECT_EQ(socket.Dispatch(partial.data(), static_cast<int>(partial.size())), 0);
    EXPECT_EQ(socket.EventStore().GetCount(), 2);

    socket.ClearEventStore();
    EXPECT_EQ(socket.EventStore().GetCount(), 0);
}

// The EIT decoder's length check speaks only when "EPG-Error" in "Debug" is
// on, read from the settings at the moment of the mismatch.
TEST_F(DispatchTest, EitLengthMismatchIsShownOnlyWithTheDebugSwitchOn) {
    Scratch();
    // Byte count 17: the header ends before last_table_id, so the walk's end
    // (14) is not the CRC's start (13).
    const Bytes shortEit = MakeSection(0x4E, {0x01, 0x02, 0xC3, 0x00, 0x00, 0x04, 0x44, 0x00, 0x01, 0x00});
    const struct {
        const char* setting;  // null: key absent
        size_t messages;
    } cases[] = {{nullptr, 0}, {"0", 0}, {"1", 1}, {"7", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting ? c.setting : "absent");
        {
            std::ofstream ini(profile.Path(), std::ios::trunc);
            if (c.setting) ini << "[Debug]\nEPG-Error=" << c.setting << "\n";
        }
        host.ClearMessages();
        EpgDvbSocket socket(owner);
        socket.Dispatch(shortEit.data(), static_cast<int>(shortEit.size()));
        ASSERT_EQ(host.Messages().size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(host.Messages().front(), "EpgDvbSocket: pos != len-4\n");
        }
        EXPECT_EQ(socket.EventStore().GetCount(), 1);
    }
}

TEST_F(DispatchTest, PrivateTable93IsDumpedOnlyWithACorrectCrc) {
    const std::filesystem::path folder = Scratch() / "dumps";
    std::filesystem::create_directories(folder);
    EpgDvbSocket socket(owner);
    socket.SetDumpDirectory(folder.string() + "/");
    EXPECT_EQ(socket.DumpDirectory(), folder.string() + "/");

    const Bytes name{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xAB};
    Bytes body = name;
    body.insert(body.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    Bytes section = MakeSection(0x93, body);
    Bytes corrupted = section;
    corrupted[13] ^= 0x01;

    EXPECT_EQ(socket.Dispatch(corrupted.data(), static_cast<int>(corrupted.size())), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "0102030405060708AB"));
    EXPECT_EQ(socket.Dispatch(section.data(), static_cast<int>(section.size())), 0);
    std::ifstream dump(folder / "0102030405060708AB", std::ios::binary);
    const std::string contents((std::istreambuf_iterator<char>(dump)), std::istreambuf_iterator<char>());
    EXPECT_EQ(contents, "\xDE\xAD\xBE\xEF");

    // 0x80 and 0x82 are taken without a CRC and leave nothing behind.
    for (unsigned char tableId : {0x80, 0x82}) {
        Bytes privateSection = section;
        privateSection[0] = tableId;
        EXPECT_EQ(socket.Dispatch(privateSection.data(), static_cast<int>(privateSection.size())), 0);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    EXPECT_TRUE(host.Messages().empty());
}

}  // namespace
