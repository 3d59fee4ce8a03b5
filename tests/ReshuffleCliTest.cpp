// kelvane-cli through an operator's re-shuffles, as a user runs it: reorder
// like another list, import that updates, backups and restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "tests/CliTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using programtest::ReadFile;
using programtest::WriteFile;

using clitest::CliRun;

class ReshuffleCli : public ::testing::Test {
protected:
    void SetUp() override { m_Dir = programtest::MakeTempDir(); }
    void TearDown() override { std::filesystem::remove_all(m_Dir); }

    std::string Path(const std::string& name) const { return (m_Dir / name).string(); }
    std::string Db() const { return Path("board.db"); }

    CliRun Cli(const std::vector<std::string>& args) const { return clitest::RunCli(m_Dir, args); }
    // The names of the stored list, the table's second column.
    std::vector<std::string> StoredNames() {
        std::vector<std::string> names;
        cardlib::Board board(Db());
        uint32_t first = 0, count = 0;
        EXPECT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        EXPECT_EQ(DVB_GetDBProgCount(&first, &count), DVB_ERR_OK);
        for (uint32_t p = 1; p <= count; ++p) {
            TunProgDataTag r;
            uint32_t size = kTunProgDataTagSize;
            EXPECT_EQ(DVB_GetDBProgData(p, &size, &r), DVB_ERR_OK);
            uint32_t number = 0;
            EXPECT_EQ(DVB_GetDBProgChannelNumber(p, &number), DVB_ERR_OK);
            names.push_back(r.name + (number ? "#" + std::to_string(number) : ""));
        }
        return names;
    }
    // A channel file of the programs, each with its channel number.
    std::string File(const std::string& name, const std::vector<TunProgDataTag>& programs,
                     std::vector<uint32_t> numbers = {}) {
        exchange::ExportOptions options;
        for (const uint32_t number : numbers) options.beside.push_back(ProgramBeside{number, 0, 0});
        WriteFile(Path(name), exchange::Export(*exchange::FormatFromFileName(name), programs, options));
        return Path(name);
    }

    std::filesystem::path m_Dir;
};

TEST_F(ReshuffleCli, ImportUpdateReorderBackupsAndRestore) {
    ASSERT_EQ(Cli({"import", "--db", Db(), File("first.csv", {Program(1, "Eins"), Program(2, "Zwei"), Program(3, "Drei")},
                                               {21, 22, 23})})
                  .status,
              0);
    // Names too, as the window's "Update Program Names" does by default.
    TunProgDataTag drei = Program(3, "Drei neu");
    drei.frequency = 346000;
    CliRun run = Cli({"import", "--update", "--db", Db(), File("update.dvbv5", {drei, Program(4, "Vier")})});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "2 programs imported from " + Path("update.dvbv5") + ", 4 in the list: 1 added, 1 updated, 0 actual\n");
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Eins#21", "Zwei#22", "Drei neu#23", "Vier"}));

    run = Cli({"reorder", "--like", File("like.zap", {Program(4, "VIER"), Program(2, "Zwei"), Program(9, "Neun")}), "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "2 of 4 programs matched " + Path("like.zap") + "; the others follow in their order\n");
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Vier", "Zwei#22", "Eins#21", "Drei neu#23"}));

    // Each write kept the list it replaced; the newest first.
    run = Cli({"backups", "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(run.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0].rfind("Nr  Time", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("2   ", 0), 0u) << lines[1];
    const std::string writer = std::string(9, ' ') + "kelvane-cli";
    EXPECT_EQ(lines[1].substr(lines[1].size() - 21), "4" + writer) << lines[1];
    EXPECT_EQ(lines[2].substr(lines[2].size() - 21), "3" + writer) << lines[2];

    // A backup is a reference too: back to the imported order.
    run = Cli({"reorder", "--like", Path("board.db.backups/backup-2.db"), "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Eins#21", "Zwei#22", "Drei neu#23", "Vier"}));

    // Restore 1: the first import's list, channel numbers and all.
    run = Cli({"restore", "1", "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Eins#21", "Zwei#22", "Drei#23"}));

    // A damaged backup is named and never restored.
    WriteFile(Path("board.db.backups/backup-2.db"), "no database");
    run = Cli({"backups", "--db", Db()});
    EXPECT_NE(run.out.find("2   damaged: "), std::string::npos) << run.out;
    run = Cli({"restore", "2", "--db", Db()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("kelvane-cli: " + Path("board.db.backups/backup-2.db") + ": damaged, not restored (", 0), 0u)
        << run.err;
    EXPECT_EQ(Cli({"restore", "99", "--db", Db()}).status, 1);
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Eins#21", "Zwei#22", "Drei#23"}));
}

}  // namespace
