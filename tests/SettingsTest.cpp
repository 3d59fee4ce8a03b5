#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/Files.h"
#include "framework/Profile.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::WriteFile;

class ProgramSettings : public programtest::ProgramFixture {
public:
    // The window as the template and the headless host place it.
    const fw::Rect kDefaultRect{270, 246, 1010, 777};
    // Computed column widths: 690 px shared out, more to the columns with
    // longer titles.
    static int ComputedWidth(int column) {
        const std::map<int, int> wider{{0, 27},  {1, 138}, {2, 69},  {9, 55},  {12, 55}, {13, 58},
                                       {14, 62}, {15, 65}, {19, 69}, {20, 58}, {22, 69}, {23, 69}};
        const auto it = wider.find(column);
        return it == wider.end() ? 48 : it->second;
    }
    static constexpr int kAbsent = -12345;
};

TEST_F(ProgramSettings, WithoutAFileTheWindowStartsAsBuiltAndClosingWritesEveryKey) {
    ASSERT_FALSE(std::filesystem::exists(SettingsFile()));
    ProgramListDialog w(host);
    host.Open(w);
    EXPECT_EQ(w.GetWindowRect(), kDefaultRect);
    EXPECT_TRUE(w.IsDlgButtonChecked(res::IDC_UPDATE_NAMES));
    EXPECT_EQ(w.m_UpdateNames, 1u);
    for (int c = 0; c < 25; ++c) EXPECT_EQ(w.ProgramList().GetColumnWidth(c), ComputedWidth(c)) << c;
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));  // nothing is written at start-up
    host.Close(w);

    fw::Profile& s = Settings();
    EXPECT_EQ(s.GetInt("MainFrame", "Left", kAbsent), kDefaultRect.left);
    EXPECT_EQ(s.GetInt("MainFrame", "Top", kAbsent), kDefaultRect.top);
    EXPECT_EQ(s.GetInt("MainFrame", "Right", kAbsent), kDefaultRect.right);
    EXPECT_EQ(s.GetInt("MainFrame", "Bottom", kAbsent), kDefaultRect.bottom);
    EXPECT_EQ(s.GetInt("Settings", "UpdateNames", kAbsent), 1);
    for (int c = 0; c < 25; ++c) EXPECT_EQ(s.GetInt("Columns", "Col_" + std::to_string(c), kAbsent), ComputedWidth(c));
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(ProgramSettings, PlacementColumnWidthsAndUpdateNamesComeBackNextTime) {
    const fw::Rect moved{100, 50, 1000, 700};
    {
        ProgramListDialog w(host);
        host.Open(w);
        w.UserMoveWindow(moved);
        w.ProgramList().SetColumnWidth(kColumnName, 250);
        w.ProgramList().SetColumnWidth(kColumnPmtPid, 0);
        w.CheckDlgButton(res::IDC_UPDATE_NAMES, false);
        host.Close(w);
    }
    ProgramListDialog w(host);
    host.Open(w);
    EXPECT_EQ(w.GetWindowRect(), moved);
    EXPECT_EQ(w.ProgramList().GetColumnWidth(kColumnName), 250);
    EXPECT_EQ(w.ProgramList().GetColumnWidth(kColumnPmtPid), 0);  // hidden
    EXPECT_EQ(w.ProgramList().GetColumnWidth(kColumnFrequency), 69);
    EXPECT_FALSE(w.IsDlgButtonChecked(res::IDC_UPDATE_NAMES));
    EXPECT_EQ(w.m_UpdateNames, 0u);
    // The restored size was laid out: "Close" sits at the new bottom right.
    const fw::Rect client = w.GetClientRect();
    EXPECT_EQ(w.GetControlRect(fw::IDCANCEL).right, client.right - 11);
    EXPECT_EQ(w.GetControlRect(fw::IDCANCEL).bottom, client.bottom - 11);
    host.Close(w);
}

TEST_F(ProgramSettings, StoredWidthsApplyFromZeroUpAndNegativeOnesKeepTheComputedWidth) {
    WriteFile(SettingsFile(), "[Columns]\r\nCol_5=0\r\nCol_6=-1\r\nCol_7=-40\r\nCol_8=1\r\n");
    ProgramListDialog w(host);
    host.Open(w);
    EXPECT_EQ(w.ProgramList().GetColumnWidth(5), 0);
    EXPECT_EQ(w.ProgramList().GetColumnWidth(6), 48);
    EXPECT_EQ(w.ProgramList().GetColumnWidth(7), 48);
    EXPECT_EQ(w.ProgramList().GetColumnWidth(8), 1);
    host.Close(w);
}

// A stored rectangle that fits on a screen is applied as stored; one that
// fits on none is shrunk to the screen it overlaps most and moved onto it.
TEST_F(ProgramSettings, AWindowThatFitsNoScreenIsMovedAndShrunkOntoOne) {
    const fw::Rect small{0, 0, 1024, 700};
    const fw::Rect right{1024, 0, 2944, 1080};
    const struct {
        const char* what;
        std::vector<fw::Rect> screens;
        const char* stored;
        fw::Rect expected;
    } cases[] = {
        {"fits: as stored", {small}, "Left=10\nTop=20\nRight=810\nBottom=620", {10, 20, 810, 620}},
        {"saved at 1400 x 800 on a bigger screen", {small}, "Left=100\nTop=50\nRight=1500\nBottom=850",
         {0, 0, 1024, 700}},
        {"off every screen", {small}, "Left=-3000\nTop=-2000\nRight=-2000\nBottom=-1500", {0, 0, 1000, 500}},
        {"fits on the second screen", {small, right}, "Left=1500\nTop=100\nRight=2900\nBottom=900",
         {1500, 100, 2900, 900}},
        {"across both: onto the one it overlaps most", {small, right}, "Left=900\nTop=100\nRight=2000\nBottom=600",
         {1024, 100, 2124, 600}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.SetScreens(c.screens);
        WriteFile(SettingsFile(), std::string("[MainFrame]\n") + c.stored + "\n");
        ProgramListDialog w(host);
        host.Open(w);
        EXPECT_EQ(w.GetWindowRect(), c.expected);
        host.Close(w);
        std::filesystem::remove(SettingsFile());
    }
}

TEST_F(ProgramSettings, BadSettingsGiveDefaultsWithoutAMessage) {
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
        bool checked;
    };
    std::string junk;
    for (int i = 0; i < 2048; ++i) junk.push_back(static_cast<char>((i * 131 + 7) % 256));
    const Case cases[] = {
        {"binary junk", [&](const std::filesystem::path& p) { WriteFile(p, junk); }, true},
        {"values that are not numbers",
         [](const std::filesystem::path& p) {
             WriteFile(p, "[MainFrame]\nLeft=abc\nTop=\nRight=99999999999999999999\nBottom=--5\n"
                          "[Settings]\nUpdateNames=yes\n[Columns]\nCol_3=wide\n");
         },
         true},
        {"a rectangle without area",
         [](const std::filesystem::path& p) { WriteFile(p, "[MainFrame]\nLeft=500\nTop=100\nRight=400\nBottom=50\n"); },
         true},
        {"lines without sections or values",
         [](const std::filesystem::path& p) { WriteFile(p, "Left=1\n[MainFrame\n=5\n[]\nCol_1\n[Settings]\nUpdateNames=0\n"); },
         false},
        {"a folder in the file's place", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(SettingsFile());
        c.make(SettingsFile());
        ProgramListDialog w(host);
        host.Open(w);
        EXPECT_EQ(w.GetWindowRect(), kDefaultRect);
        EXPECT_EQ(w.IsDlgButtonChecked(res::IDC_UPDATE_NAMES), c.checked);
        for (int col = 0; col < 25; ++col) EXPECT_EQ(w.ProgramList().GetColumnWidth(col), ComputedWidth(col));
        host.Close(w);
        EXPECT_TRUE(host.Messages().empty());
    }
}

TEST_F(ProgramSettings, AnyNonZeroUpdateNamesChecksTheBoxAndIsWrittenBackAsOne) {
    WriteFile(SettingsFile(), "[Settings]\nUpdateNames=7\n");
    ProgramListDialog w(host);
    host.Open(w);
    EXPECT_TRUE(w.IsDlgButtonChecked(res::IDC_UPDATE_NAMES));
    host.Close(w);
    EXPECT_EQ(Settings().GetInt("Settings", "UpdateNames", kAbsent), 1);
}

// Section and key names are the same name in any ASCII case, for reading and
// for writing over a value that is there.
TEST_F(ProgramSettings, SectionAndKeyNamesMatchInAnyCase) {
    WriteFile(SettingsFile(), "[mainframe]\r\nLEFT=100\r\n[COLUMNS]\r\ncol_3=40\r\n");
    fw::Profile& s = Settings();
    EXPECT_EQ(s.GetInt("MainFrame", "Left", kAbsent), 100);
    EXPECT_EQ(s.GetInt("Columns", "Col_3", kAbsent), 40);
    EXPECT_TRUE(s.WriteInt("MainFrame", "Left", 7));
    EXPECT_TRUE(s.WriteInt("Columns", "Col_3", 8));
    EXPECT_EQ(programtest::ReadFile(SettingsFile()), "[mainframe]\r\nLeft=7\r\n[COLUMNS]\r\nCol_3=8\r\n");
}

// A text reads back as it was written, blanks at its ends and quotes too.
TEST_F(ProgramSettings, TextValuesComeBackAsWritten) {
    fw::Profile& s = Settings();
    for (const std::string value : {"/home/u/TV lists", " x ", "\"quoted\"", ""}) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(s.WriteString("Exchange", "LastFolder", value));
        EXPECT_EQ(s.GetString("Exchange", "LastFolder", "absent"), value);
    }
    EXPECT_FALSE(s.WriteString("Exchange", "LastFolder", "a\nb"));
    EXPECT_EQ(programtest::ReadFile(SettingsFile()), "[Exchange]\r\nLastFolder=\r\n");
}

// The real files, except that reads or writes fail on demand.
class FaultyFiles : public fw::Files {
public:
    bool failReads = false, failWrites = false;
    ReadResult ReadAll(const std::string& path, std::string* contents) override {
        if (!failReads) return System().ReadAll(path, contents);
        contents->clear();
        return ReadResult::Failed;
    }
    bool WriteAll(const std::string& path, const std::string& contents) override {
        if (!failWrites) return System().WriteAll(path, contents);
        // A disk that fills up: the start of the file is written, then the write fails.
        System().WriteAll(path, contents.substr(0, contents.size() / 2));
        return false;
    }
    bool Rename(const std::string& from, const std::string& to) override { return System().Rename(from, to); }
    bool Remove(const std::string& path) override { return System().Remove(path); }
};

// The window's end writes its settings; a file it could not read keeps every
// section, and a failed write leaves neither a changed file nor a copy beside it.
TEST_F(ProgramSettings, SettingsFileThatCannotBeReadOrWrittenIsLeftAsItWas) {
    const std::string before = "[Other]\r\nKeep=1\r\n[Settings]\r\nUpdateNames=0\r\n";
    const struct {
        const char* what;
        bool failReads, failWrites;
    } cases[] = {{"reads fail", true, false}, {"writes fail", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(SettingsFile(), before);
        FaultyFiles files;
        files.failReads = c.failReads;
        files.failWrites = c.failWrites;
        fw::Profile profile(SettingsFile().string(), files);
        host.SetProfile(&profile);
        {
            ProgramListDialog w(host);
            host.Open(w);
            host.Close(w);
        }
        EXPECT_EQ(programtest::ReadFile(SettingsFile()), before);
        EXPECT_FALSE(std::filesystem::exists(SettingsFile().string() + ".tmp"));
        EXPECT_TRUE(host.Messages().empty());
    }
    host.SetProfile(&Settings());
}

}  // namespace
