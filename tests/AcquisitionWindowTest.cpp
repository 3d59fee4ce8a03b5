#include <gtest/gtest.h>

#include "cardlib/Card.h"
#include "tests/AcquisitionTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

using namespace acquisition_test;

class AcquisitionWindowTest : public programtest::ProgramFixture {
public:
    void SetUp() override { card.Attach(host); }
};

// The window creates its filters once the board is open and shuts a filter
// that is still set down before it closes the board.
TEST_F(AcquisitionWindowTest, FiltersLiveBetweenBoardOpenAndClose) {
    int shutDownsWhenBoardCloses = -1;
    host.OnMessage([&](const std::string& text) {
        if (text.rfind("Error on DVB_CloseBoard", 0) == 0) shutDownsWhenBoardCloses = card.Calls().shutDownFilter;
    });
    {
        ProgramListDialog window(host);
        host.Open(window);
        TableFilters& filters = window.Filters();
        ASSERT_NE(filters.PatSocket(), nullptr);
        EXPECT_EQ(filters.NitSocket()->Owner(), &window);

        RecordingWriter scan;
        window.SetResultWindowForAll(&scan);
        window.RequestPat();
        window.RequestSdt();
        EXPECT_EQ(window.IsPatDone(), 0);
        card.InjectSection(0x0000, FromHex(kFfmpegPat));
        host.Advance(0);
        EXPECT_EQ(window.IsPatDone(), 1);
        EXPECT_EQ(window.IsSdtDone(), 0);
        EXPECT_TRUE(scan.Has("pat 1092 258 256"));

        EXPECT_EQ(window.Tune(346000), 1);
        EXPECT_EQ(window.Tune(346000), 0);

        board.Faults().closeBoard = DVB_ERR_DB_IO;
        host.Close(window);
        EXPECT_EQ(card.Calls().shutDownFilter, 2);
    }
    EXPECT_EQ(shutDownsWhenBoardCloses, 2);
    EXPECT_EQ(card.Calls().shutDownFilter, 2);
}

TEST_F(AcquisitionWindowTest, WithoutABoardEveryRequestIsDoneAtOnce) {
    board.Faults().openBoard = DVB_ERR_DB_IO;
    ProgramListDialog window(host);
    host.Open(window);
    EXPECT_EQ(window.Filters().PatSocket(), nullptr);
    window.RequestNit();
    window.RequestPmt(0x100, 1);
    EXPECT_EQ(window.IsNitDone() + window.IsPatDone() + window.IsPmtDone() + window.IsSdtDone(), 4);
    EXPECT_EQ(card.Calls().setBitFilter, 0);
    host.Close(window);
    EXPECT_EQ(card.Calls().shutDownFilter + card.Calls().sClose, 0);
}

}  // namespace
