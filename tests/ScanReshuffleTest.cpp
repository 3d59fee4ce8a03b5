// A list scanned from the default network, scanned again from the operator's
// next line-up: what is gone is marked, what moved is followed, what could
// not be read is left alone and counted.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "cli/Scan.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tests/ProgramTestSupport.h"

namespace {

const std::string kNw = std::to_string(0x6F10);

class ScanReshuffle : public programtest::ProgramFixture {
public:
    void SetUp() override { host.SetModalTimeLimit(60 * 60 * 1000); }
    void UseNetwork(const cardlib::SimNetwork& network) {
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
    }
    // "State" by "TS-ID"/"Prog-ID" of the network's rows.
    static std::map<std::string, std::string> States(ProgramListDialog& window) {
        std::map<std::string, std::string> states;
        fw::ListView& list = window.ProgramList();
        for (int r = 0; r < list.GetItemCount(); ++r)
            if (list.ItemText(r, kColumnNwId) == kNw)
                states[list.ItemText(r, kColumnTsId) + "/" + list.ItemText(r, kColumnProgId)] =
                    list.ItemText(r, kColumnState);
        return states;
    }
};

TEST_F(ScanReshuffle, NextLineUpMarksTheGoneServiceFollowsTheMovedOneAndCountsTheUnread) {
    UseNetwork(cardlib::DefaultNetwork());
    ProgramListDialog window(host);
    host.Open(window);
    window.OnCommand(res::IDC_SEARCH);
    const std::map<std::string, std::string> first = States(window);
    ASSERT_EQ(first.count("2/204"), 1u);
    ASSERT_EQ(first.count("2/202"), 1u);

    UseNetwork(cardlib::DefaultNetworkNext());
    window.OnCommand(res::IDC_SEARCH);
    const std::map<std::string, std::string> second = States(window);
    int unmarked = 0;
    for (const auto& [key, state] : second) {
        // 386 MHz no longer locks: its programs cannot be checked.
        const bool unread = key.rfind("6/", 0) == 0;
        unmarked += unread;
        EXPECT_EQ(state, key == "2/204" ? "missing" : key == "1/202" ? "updated" : unread ? "" : "actual") << key;
    }
    EXPECT_EQ(second.size(), first.size()) << "the moved program keeps its one row";
    EXPECT_EQ(unmarked, 6);
    int actual = 0;
    for (int r = 0; r < window.ProgramList().GetItemCount(); ++r)
        actual += window.ProgramList().ItemText(r, kColumnState) == "actual";
    const std::string summary = "Scan: 0 added, 1 updated, " + std::to_string(actual) +
                                " actual, 1 missing; no lock on 386.0 MHz (TS 6), 450.0 MHz (TS 11). "
                                "6 programs not checked: no lock on 386.0 MHz";
    // Then the networks the home transport carries.
    EXPECT_EQ(window.StatusText().rfind(summary + "\nNetworks on this cable: ", 0), 0u) << window.StatusText();
    EXPECT_EQ(host.Messages().back(), window.StatusText());

    // The marks are the scan's: its undo takes them too.
    window.OnUndo();
    EXPECT_EQ(States(window).at("2/204"), "");
    host.Close(window);
}

// kelvane-cli: a dry run shows the mark; --remove-missing saves the list
// without the gone program.
TEST_F(ScanReshuffle, CliDryRunShowsMissingAndRemoveMissingSavesWithoutIt) {
    UseNetwork(cardlib::DefaultNetwork());
    std::ostringstream out, status;
    std::string error;
    ASSERT_TRUE(cli::ScanInWindow(host, false, out, status, error)) << error;
    const size_t stored = StoredPrograms().size();

    UseNetwork(cardlib::DefaultNetworkNext());
    std::ostringstream dry, dryStatus;
    ASSERT_TRUE(cli::ScanInWindow(host, true, dry, dryStatus, error)) << error;
    EXPECT_NE(dry.str().find("  missing  "), std::string::npos) << dry.str();
    EXPECT_NE(dryStatus.str().find(", 1 missing; "), std::string::npos) << dryStatus.str();
    EXPECT_EQ(StoredPrograms().size(), stored);

    cli::ScanLimits limits;
    limits.removeMissing = true;
    std::ostringstream removing;
    ASSERT_TRUE(cli::ScanInWindow(host, false, out, removing, error, limits)) << error;
    EXPECT_NE(removing.str().find("6 programs not checked: no lock on 386.0 MHz\nNetworks on this cable: "),
              std::string::npos)
        << removing.str();
    EXPECT_NE(removing.str().find(" set NetworkId for another\n1 missing program removed\n"), std::string::npos)
        << removing.str();
    const std::vector<TunProgDataTag> after = StoredPrograms();
    EXPECT_EQ(after.size(), stored - 1);
    for (const TunProgDataTag& program : after) EXPECT_NE(program.name, "Sternenpfad");
}

}  // namespace
