// kelvane-cli's board database: the window's load and save sequence, but a
// failing program stops it, so a command never stores a list with a program
// missing, and says so on one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cli/Board.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using programtest::ReadFile;

class CliBoard : public programtest::ProgramFixture {};

TEST_F(CliBoard, AFailingProgramStopsTheCommandWithOneLineAndNothingSaved) {
    SeedBoard({Program(1, "Eins"), Program(2, "Zwei"), Program(3, "Drei")});
    const std::string stored = ReadFile(BoardFile());
    const std::string file = BoardFile().string();
    struct Case {
        const char* what;
        std::function<void(cardlib::BoardFaults&)> fault;
        std::string error;
        bool changeRuns;  // the load got the whole list
    };
    const Case cases[] = {
        {"a program that cannot be read",
         [](cardlib::BoardFaults& f) {
             f.getProgData = DVB_ERR_DB_IO;
             f.getProgDataPosition = 2;
         },
         file + ": Error on DVB_GetDBProgData(2): 2", false},
        {"a program that cannot be stored",
         [](cardlib::BoardFaults& f) {
             f.setProgData = DVB_ERR_DB_IO;
             f.setProgDataCall = 2;
         },
         file + ": Error on DVB_SetDBProgData: 2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cli::Board cliBoard(file);
        cardlib::Board::Current().Calls().recordNames = true;
        c.fault(cardlib::Board::Current().Faults());
        std::string error;
        bool changed = false;
        EXPECT_FALSE(cliBoard.Update(
            false, [&](std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>&) {
                programs.push_back(Program(4, "Vier"));
                changed = true;
            },
            error));
        EXPECT_EQ(error, c.error);
        const std::vector<std::string>& calls = cardlib::Board::Current().Calls().names;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "DVB_SaveDBProgData"), 0);
        EXPECT_EQ(changed, c.changeRuns);
        EXPECT_EQ(ReadFile(BoardFile()), stored);
    }
}

}  // namespace
