#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "framework/Files.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

// Files in memory, failing as the disk does: a missing file cannot be read,
// nothing can be written into a folder that is not writable.
class MemoryFiles final : public fw::Files {
public:
    ReadResult ReadAll(const std::string& path, std::string* contents) override {
        auto it = files.find(path);
        if (it == files.end()) {
            m_Error = std::strerror(ENOENT);
            return ReadResult::Missing;
        }
        *contents = it->second;
        return ReadResult::Ok;
    }
    bool WriteAll(const std::string& path, const std::string& contents) override {
        if (readOnlyFolders.count(path.substr(0, path.rfind('/'))) > 0) {
            m_Error = std::strerror(EACCES);
            return false;
        }
        files[path] = contents;
        return true;
    }
    bool Rename(const std::string& from, const std::string& to) override {
        files[to] = files[from];
        return files.erase(from) > 0;
    }
    bool Remove(const std::string& path) override { return files.erase(path) > 0; }
    std::string LastError() const override { return m_Error; }

    std::map<std::string, std::string> files;
    std::set<std::string> readOnlyFolders;

private:
    std::string m_Error;
};

class ProgramListExchange : public programtest::ProgramFixture {
public:
    void SetUp() override {
        ProgramFixture::SetUp();
        host.SetFiles(&files);
        host.Open(window);
        AddRows(window, {Program(1, "Eins"), Program(2, "Zwei")});
    }
    void TearDown() override {
        host.Close(window);
        ProgramFixture::TearDown();
    }

    std::vector<TunProgDataTag> Rows() {
        std::vector<TunProgDataTag> records;
        for (int row = 0; row < window.ProgramList().GetItemCount(); ++row) records.push_back(window.RowToRecord(row));
        return records;
    }
    void ChooseFromMenu(int item, std::optional<fw::FileChoice> file) {
        host.ScriptMenu(item);
        host.ScriptFileChoice(std::move(file));
        window.OnListContextMenu(res::IDC_PROGRAM_LIST);
    }

    MemoryFiles files;
    ProgramListDialog window{host};
};

TEST_F(ProgramListExchange, ExportWritesTheRowsInTheFormatOfExtensionOrFilter) {
    // The rows, not the database: the list holds an edit not yet saved.
    SeedBoard({Program(7, "stored")});
    window.ProgramList().SetItemText(1, kColumnName, "Zwei (edited)");
    // Quotes keep the pattern's spaces.
    programtest::WriteFile(SettingsFile(), "[Exchange]\nM3uUrlPattern=\" http://box:8001/{sid} \"\n");
    exchange::ExportOptions pattern;
    pattern.m3uUrlPattern = " http://box:8001/{sid} ";
    struct Case {
        const char* path;
        int filter;
        exchange::Format format;
    };
    const Case cases[] = {
        {"/home/u/list.csv", 0, exchange::Format::Csv},     // the extension says
        {"/home/u/channels.conf", 1, exchange::Format::Vdr},  // ".conf" does not: the filter
        {"/home/u/channels.conf", 2, exchange::Format::Zap},
        {"/home/u/tv.m3u", 3, exchange::Format::M3u},
        {"/home/u/dvb_channel.conf", 0, exchange::Format::Dvbv5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + std::string(" filter ") + std::to_string(c.filter));
        ChooseFromMenu(0, fw::FileChoice{c.path, c.filter});
        EXPECT_EQ(files.files[c.path], exchange::Export(c.format, Rows(), pattern));
    }
    EXPECT_NE(files.files["/home/u/tv.m3u"], exchange::Export(exchange::Format::M3u, Rows()));
    EXPECT_EQ(host.Menus().front(), (Strings{"Export\u2026", "Import\u2026", "-", "Order by Channel Number", "Order Like\u2026", "-",
                                             "Move to Top", "Move to Bottom", "Move to Position\u2026", "-",
                                             "Find\u2026\tCtrl+F", "Remove Duplicates", "Remove\u2026", "-",
                                             "Undo\tCtrl+Z", "Redo\tCtrl+Y", "-", "Scan Transport\u2026"}));
    const auto& chooser = host.FileChoosers().front();
    EXPECT_EQ(chooser.kind, fw::FileChooserKind::Save);
    EXPECT_EQ(chooser.filters.size(), 6u);
    EXPECT_EQ(chooser.filters.back(), "All files (*)");
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei (edited)"}));
    EXPECT_TRUE(host.Messages().empty());
}

// A SAT>IP server in the settings makes the m3u's entries its RTSP URLs;
// a pattern of the user's own comes first.
TEST_F(ProgramListExchange, ExportWritesTheSatIpFormWhereTheSettingsNameAServer) {
    exchange::ExportOptions satip;
    satip.m3uUrlPattern = exchange::SatIpUrlPattern("192.168.178.1");
    programtest::WriteFile(SettingsFile(), "[Exchange]\nSatIpServer=192.168.178.1\n");
    ChooseFromMenu(0, fw::FileChoice{"/home/u/tv.m3u", 3});
    EXPECT_EQ(files.files["/home/u/tv.m3u"], exchange::Export(exchange::Format::M3u, Rows(), satip));
    EXPECT_NE(files.files["/home/u/tv.m3u"].find("\nrtsp://192.168.178.1/?freq="), std::string::npos);
    programtest::WriteFile(SettingsFile(), "[Exchange]\nSatIpServer=192.168.178.1\nM3uUrlPattern=http://b/{sid}\n");
    ChooseFromMenu(0, fw::FileChoice{"/home/u/own.m3u", 3});
    EXPECT_NE(files.files["/home/u/own.m3u"].find("\nhttp://b/{sid}\n"), std::string::npos);
    EXPECT_EQ(files.files["/home/u/own.m3u"].find("rtsp://"), std::string::npos);
}

TEST_F(ProgramListExchange, ImportAppendsEveryProgramAsNewRowsAndTouchesNoDatabase) {
    files.files["/in/more.csv"] =
        exchange::Export(exchange::Format::Csv, {Program(3, "Drei"), Program(4, "Vier – ČT1 ☆")});
    window.ProgramList().SetItemText(0, kColumnState, "actual");
    RecordCalls();
    ChooseFromMenu(1, fw::FileChoice{"/in/more.csv", 0});
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei", "Drei", "Vier – ČT1 ☆"}));
    EXPECT_EQ(Column(window, kColumnNr), (Strings{"1", "2", "3", "4"}));
    EXPECT_EQ(Column(window, kColumnState), (Strings{"actual", "", "", ""}));
    // Every field a CSV file carries, all of them, came into the row.
    EXPECT_EQ(window.RowToRecord(2), Program(3, "Drei"));
    // The first new row is selected, so Move Up and Move Down act on it.
    EXPECT_EQ(window.ProgramList().GetSelectionMark(), 2);
    EXPECT_EQ(window.ProgramList().GetNextItem(-1, fw::kItemSelected), 2);
    EXPECT_TRUE(Calls().empty());
    // Every format can be read back: the chooser offers each.
    const auto& chooser = host.FileChoosers().front();
    EXPECT_EQ(chooser.kind, fw::FileChooserKind::Open);
    EXPECT_EQ(chooser.filters.size(), 6u);
    EXPECT_EQ(chooser.filters.at(3), "m3u playlists (*.m3u *.m3u8)");

    // Lines passed over on purpose are named, the programs still come in.
    files.files["/in/groups.vdr"] = ":Group\n" + exchange::Export(exchange::Format::Vdr, {Program(5, "Fünf")});
    ChooseFromMenu(1, fw::FileChoice{"/in/groups.vdr", 1});
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0], "1 program imported from /in/groups.vdr; 1 line skipped: VDR group separators");
    EXPECT_EQ(Column(window, kColumnName).back(), "Fünf");

    // A playlist gives its cable entries; another player's stream is named as skipped.
    host.ClearMessages();
    files.files["/in/tv.m3u"] =
        exchange::Export(exchange::Format::M3u, {Program(6, "Sechs")}) + "#EXTINF:-1,Web\nhttp://box/1.ts\n";
    ChooseFromMenu(1, fw::FileChoice{"/in/tv.m3u", 0});
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0],
              "1 program imported from /in/tv.m3u; 1 line skipped: playlist entries whose URL holds no DVB-C tuning data");
    EXPECT_EQ(Column(window, kColumnName).back(), "Sechs");
}

TEST_F(ProgramListExchange, ImportSaysWhatTheListHadAndRemoveDuplicatesTakesTheCopiesAway) {
    TunProgDataTag renamed = Program(2, "Zwei, anders benannt");
    files.files["/in/again.csv"] = exchange::Export(exchange::Format::Csv, {Program(1, "Eins"), renamed, Program(3, "Drei")});
    ChooseFromMenu(1, fw::FileChoice{"/in/again.csv", 0});
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0],
              "3 programs imported from /in/again.csv; 2 were already in the list (same NW-ID and Prog-ID)");
    // Another network is another service, whatever its program id; a service
    // that moved to another transport is the same one.
    window.ProgramList().SetItemText(2, kColumnNwId, "999");
    window.ProgramList().SetItemText(3, kColumnTsId, "999");

    ChooseFromMenu(8, std::nullopt);
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei", "Eins", "Drei"}));
    EXPECT_EQ(host.Messages().back(), "1 duplicate removed: each had the NW-ID and Prog-ID of a program above it.");
    ChooseFromMenu(8, std::nullopt);
    EXPECT_EQ(host.Messages().back(), "No duplicates: no two programs have the same NW-ID and Prog-ID.");
    EXPECT_EQ(window.History().UndoName(), "Remove Duplicates");
    window.OnUndo();
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei", "Eins", "Zwei, anders benannt", "Drei"}));
    EXPECT_EQ(window.History().UndoName(), "Import");
    window.OnUndo();
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei"}));
}

TEST_F(ProgramListExchange, FailuresAreShownAndChangeNothing) {
    const std::string good = exchange::Export(exchange::Format::Csv, {Program(3, "Drei"), Program(4, "Vier")});
    files.files["/in/bad.csv"] = good + "this is no channel line\n";
    files.readOnlyFolders.insert("/usr/share");
    struct Case {
        const char* what;
        int item;
        std::optional<fw::FileChoice> file;
        std::string message;  // the start of it; none for a cancelled chooser
    };
    const Case cases[] = {
        {"a bad line: file and line named, nothing added", 1, fw::FileChoice{"/in/bad.csv", 0},
         "/in/bad.csv (read as a CSV file): line 4:"},
        {"a file that is not there", 1, fw::FileChoice{"/in/gone.csv", 0},
         "Cannot read /in/gone.csv: No such file or directory"},
        {"an unwritable folder", 0, fw::FileChoice{"/usr/share/tv.csv", 4},
         "Cannot write /usr/share/tv.csv: Permission denied"},
        {"chooser cancelled", 1, std::nullopt, ""},
        {"menu dismissed", -1, std::nullopt, ""},
    };
    const Strings before = Column(window, kColumnName);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.ClearMessages();
        ChooseFromMenu(c.item, c.file);
        if (c.message.empty()) {
            EXPECT_TRUE(host.Messages().empty());
        } else {
            ASSERT_EQ(host.Messages().size(), 1u);
            EXPECT_EQ(host.Messages()[0].substr(0, c.message.size()), c.message);
        }
        EXPECT_EQ(Column(window, kColumnName), before);
    }
    EXPECT_EQ(files.files.count("/usr/share/tv.csv"), 0u);
}

// A ".conf" may be any of three formats: the text says which, whatever the
// filter the chooser stood on.
TEST_F(ProgramListExchange, ImportReadsTheFormatTheTextIsOf) {
    files.files["/in/zap.conf"] = exchange::Export(exchange::Format::Zap, {Program(3, "Drei")});
    files.files["/in/vdr.conf"] = exchange::Export(exchange::Format::Vdr, {Program(4, "Vier")});
    ChooseFromMenu(1, fw::FileChoice{"/in/zap.conf", 0});
    ChooseFromMenu(1, fw::FileChoice{"/in/vdr.conf", 2});
    EXPECT_TRUE(host.Messages().empty()) << host.Messages().front();
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei", "Drei", "Vier"}));

    // A refusal names the format the file was read as: the text's, else the
    // extension's, else the filter's.
    files.files["/in/bad.conf"] = exchange::Export(exchange::Format::Zap, {Program(5, "Fünf")}) + "Sechs:x\n";
    files.files["/in/plain.conf"] = "Sieben\n";
    files.files["/in/plain.csv"] = "Sieben\n";
    ChooseFromMenu(1, fw::FileChoice{"/in/bad.conf", 0});
    ChooseFromMenu(1, fw::FileChoice{"/in/plain.conf", 1});
    ChooseFromMenu(1, fw::FileChoice{"/in/plain.csv", 1});
    ASSERT_EQ(host.Messages().size(), 3u);
    EXPECT_EQ(host.Messages()[0].substr(0, 50), "/in/bad.conf (read as a zap channels.conf): line 2");
    EXPECT_EQ(host.Messages()[1].substr(0, 53), "/in/plain.conf (read as a VDR channels.conf): line 1:");
    EXPECT_EQ(host.Messages()[2].substr(0, 42), "/in/plain.csv (read as a CSV file): line 1");
    EXPECT_EQ(Column(window, kColumnName).size(), 4u);
}

// The choosers open where the last file was chosen, in this window or the
// next one; a name given without an extension gets the format's.
TEST_F(ProgramListExchange, ChoosersOpenInTheLastFolderAndExportNamesGetTheFormatsExtension) {
    ChooseFromMenu(0, fw::FileChoice{"/home/u/tv", 3});
    ChooseFromMenu(0, fw::FileChoice{"/home/u/all", 5});
    ChooseFromMenu(1, std::nullopt);
    EXPECT_EQ(files.files["/home/u/tv.m3u"], exchange::Export(exchange::Format::M3u, Rows()));
    EXPECT_EQ(files.files["/home/u/all.dvbv5"], exchange::Export(exchange::Format::Dvbv5, Rows()));
    EXPECT_EQ(files.files.count("/home/u/tv"), 0u);
    ASSERT_EQ(host.FileChoosers().size(), 3u);
    EXPECT_EQ(host.FileChoosers()[0].start, "channels.dvbv5");  // in the home folder
    EXPECT_EQ(host.FileChoosers()[1].start, "/home/u/channels.dvbv5");
    EXPECT_EQ(host.FileChoosers()[2].start, "/home/u");
    {
        ProgramListDialog next{host};
        host.Open(next);
        host.ScriptMenu(0);
        host.ScriptFileChoice(std::nullopt);
        next.OnListContextMenu(res::IDC_PROGRAM_LIST);
        host.Close(next);
    }
    EXPECT_EQ(host.FileChoosers().back().start, "/home/u/channels.dvbv5");

    // The chooser asked about "tv", not "tv.m3u": replacing that one is asked again.
    files.files["/home/u/tv.m3u"] = "mine";
    host.ScriptAnswer(fw::Answer::No);
    ChooseFromMenu(0, fw::FileChoice{"/home/u/tv", 3});
    EXPECT_EQ(files.files["/home/u/tv.m3u"], "mine");
    ASSERT_EQ(host.Questions().size(), 1u);
    EXPECT_EQ(host.Questions()[0], "/home/u/tv.m3u already exists. Replace it?");
    host.ScriptAnswer(fw::Answer::Yes);
    ChooseFromMenu(0, fw::FileChoice{"/home/u/tv", 3});
    EXPECT_EQ(files.files["/home/u/tv.m3u"], exchange::Export(exchange::Format::M3u, Rows()));

    // "All files" on a file whose text, name and filter say nothing.
    files.files["/in/plain.conf"] = "Sieben\n";
    ChooseFromMenu(1, fw::FileChoice{"/in/plain.conf", 5});
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0],
              "/in/plain.conf: the format is not clear from the file; choose its type in the file dialog");
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei"}));
}

TEST(SystemFiles, FailuresSayWhyInTheSystemsWords) {
    const std::filesystem::path dir = programtest::MakeTempDir();
    fw::Files& disk = fw::Files::System();
    std::string text;
    const std::string nowhere = (dir / "no" / "list.csv").string();
    EXPECT_FALSE(disk.WriteAll(nowhere, "a"));
    EXPECT_EQ(disk.LastError(), "No such file or directory");
    EXPECT_EQ(disk.ReadAll(dir.string(), &text), fw::Files::ReadResult::Failed);
    EXPECT_EQ(disk.LastError(), "Is a directory");
    std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

std::vector<uint32_t> Numbers(ProgramListDialog& window) {
    std::vector<uint32_t> numbers;
    for (int row = 0; row < window.ProgramList().GetItemCount(); ++row) numbers.push_back(window.ChannelNumber(row));
    return numbers;
}

std::vector<std::string> ProgramNames(ProgramListDialog& window) {
    std::vector<std::string> names;
    for (int row = 0; row < window.ProgramList().GetItemCount(); ++row)
        names.push_back(window.ProgramList().GetItemText(row, kColumnName));
    return names;
}

// The operator's number goes with its program: in from a file, through a
// move, a sort, an edit, the window's order menu, Save and Load, and out again.
TEST_F(ProgramListExchange, ChannelNumbersStayWithTheirProgramsAndOrderTheList) {
    exchange::ExportOptions options;
    options.beside = {{0, 0, 0}, {12, 0, 0}, {3, 0, 0}};
    files.files["/in/numbered.dvbv5"] = exchange::Export(
        exchange::Format::Dvbv5, {programtest::Program(3, "Drei"), programtest::Program(4, "Vier"),
                                  programtest::Program(5, "Fuenf")},
        options);
    ChooseFromMenu(1, fw::FileChoice{"/in/numbered.dvbv5", 0});
    ASSERT_TRUE(host.Messages().empty());
    EXPECT_EQ(Numbers(window), (std::vector<uint32_t>{0, 0, 0, 12, 3}));

    window.ProgramList().SetSelectionMark(4);
    window.OnMoveUp();
    EXPECT_EQ(ProgramNames(window), (std::vector<std::string>{"Eins", "Zwei", "Drei", "Fuenf", "Vier"}));
    EXPECT_EQ(Numbers(window), (std::vector<uint32_t>{0, 0, 0, 3, 12}));
    window.SortByColumn(kColumnName);
    EXPECT_EQ(ProgramNames(window), (std::vector<std::string>{"Drei", "Eins", "Fuenf", "Vier", "Zwei"}));
    EXPECT_EQ(Numbers(window), (std::vector<uint32_t>{0, 0, 3, 12, 0}));
    // An edit rewrites the cells, not the number.
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [](fw::Dialog& d) { d.EndDialog(fw::IDOK); });
    window.ProgramList().SetSelectionMark(3);
    window.OnEditProgram();
    EXPECT_EQ(window.ChannelNumber(3), 12u);

    // Numbered programs first, the others after them in the order they had.
    host.ScriptMenu(2);
    window.OnListContextMenu(res::IDC_PROGRAM_LIST);
    EXPECT_EQ(ProgramNames(window), (std::vector<std::string>{"Fuenf", "Vier", "Drei", "Eins", "Zwei"}));

    window.OnSave();
    window.ProgramList().DeleteAllItems();
    window.OnLoad();
    ASSERT_TRUE(host.Messages().empty()) << host.Messages().front();
    EXPECT_EQ(ProgramNames(window), (std::vector<std::string>{"Fuenf", "Vier", "Drei", "Eins", "Zwei"}));
    EXPECT_EQ(Numbers(window), (std::vector<uint32_t>{3, 12, 0, 0, 0}));

    ChooseFromMenu(0, fw::FileChoice{"/out/list.csv", 0});
    const exchange::ImportResult back = exchange::Import(exchange::Format::Csv, files.files["/out/list.csv"], "f");
    ASSERT_TRUE(back.ok) << back.error;
    std::vector<uint32_t> numbers;
    for (const ProgramBeside& beside : back.beside) numbers.push_back(beside.channelNumber);
    EXPECT_EQ(numbers, (std::vector<uint32_t>{3, 12, 0, 0, 0}));
}

// dvbv5 finds a channel by its name: the export asks about names used more
// than once; Yes appends each one's service id, No writes them as they are.
// The list keeps its names either way, and a CSV asks nothing.
TEST_F(ProgramListExchange, ExportAsksAboutRepeatedNamesOfANameKeyedFormat) {
    AddRows(window, {Program(3, "Eins")});
    std::vector<TunProgDataTag> unique = Rows();
    unique[0].name = "Eins (6)";
    unique[2].name = "Eins (8)";
    for (const auto& [answer, expected] : {std::pair{fw::Answer::Yes, unique}, std::pair{fw::Answer::No, Rows()}}) {
        host.ScriptAnswer(answer);
        ChooseFromMenu(0, fw::FileChoice{"/home/u/dvb_channel.conf", 0});
        EXPECT_EQ(files.files["/home/u/dvb_channel.conf"], exchange::Export(exchange::Format::Dvbv5, expected));
    }
    ASSERT_EQ(host.Questions().size(), 2u);
    EXPECT_EQ(host.Questions()[0],
              "Names used more than once: \"Eins\" (2 programs); dvbv5-zap reaches only the first program of each.\n"
              "Append the service id to each of them (\"Eins (6)\")?");
    EXPECT_NE(files.files["/home/u/dvb_channel.conf"].find("[Eins]"), std::string::npos);
    ChooseFromMenu(0, fw::FileChoice{"/home/u/list.csv", 0});
    EXPECT_EQ(host.Questions().size(), 2u);
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "Zwei", "Eins"}));
    EXPECT_TRUE(host.Messages().empty());
}

}  // namespace
