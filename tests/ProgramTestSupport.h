// Shared by the program list tests: a headless host with a settings file and
// a board database of their own in a fresh temporary directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "tests/HostSupport.h"

// Readable failures for records.
inline void PrintTo(const TunProgDataTag& r, std::ostream* os) {
    *os << "{#" << r.index << " '" << r.name << "' f=" << r.frequency << " std=" << r.standard << " x=" << r.extraInfo
        << " prog=" << r.progId << " ts=" << r.tsId << " nw=" << r.nwId << " sid=" << r.serviceId
        << " mod=" << unsigned{r.modulation} << " fec=" << unsigned{r.fec} << " sr=" << r.symbolRate
        << " 22k=" << r.tone22kHz << " v=" << r.vertical << " type=" << unsigned{r.progType} << " pids=" << r.videoPid
        << "/" << r.audioPid << "/" << r.pmtPid << "/" << r.txtPid << "/" << r.subtitlePid << "/" << r.dataPid
        << " ip=" << unsigned{r.ipFilter} << " r=" << r.reserved1 << "/" << r.reserved2 << "}";
}

namespace programtest {

inline std::filesystem::path MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-test-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    return made;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A record whose fields all differ from each other and from those of other `n`.
inline TunProgDataTag Program(uint32_t n, std::string name) {
    TunProgDataTag r;
    r.index = n;
    r.frequency = 100000 + n;
    r.name = std::move(name);
    r.standard = 3 + n;
    r.extraInfo = 4 + n;
    r.progId = static_cast<uint16_t>(5 + n);
    r.tsId = static_cast<uint16_t>(6 + n);
    r.nwId = static_cast<uint16_t>(7 + n);
    r.serviceId = static_cast<uint16_t>(8 + n);
    r.modulation = static_cast<uint8_t>(9 + n);
    r.fec = static_cast<uint8_t>(10 + n);
    r.symbolRate = 6900000 + n;
    r.tone22kHz = n % 2;
    r.vertical = (n + 1) % 2;
    r.progType = static_cast<uint8_t>(11 + n);
    r.videoPid = static_cast<uint16_t>(100 + n);
    r.audioPid = static_cast<uint16_t>(200 + n);
    r.pmtPid = static_cast<uint16_t>(300 + n);
    r.txtPid = static_cast<uint16_t>(400 + n);
    r.subtitlePid = static_cast<uint16_t>(500 + n);
    r.dataPid = static_cast<uint16_t>(600 + n);
    r.ipFilter = static_cast<uint8_t>(12 + n);
    r.reserved1 = 13 + n;
    r.reserved2 = 14 + n;
    return r;
}

// Each test gets a card and a board database of its own, installed for the
// test's lifetime.
class ProgramFixture : public ::testing::Test {
public:
    ProgramFixture() { host.SetProfile(&m_Profile); }

    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }

    std::filesystem::path Dir() const { return m_Dir; }
    std::filesystem::path SettingsFile() const { return m_Dir / "kelvane.INI"; }
    std::filesystem::path BoardFile() const { return m_Dir / "board.db"; }
    fw::Profile& Settings() { return m_Profile; }

    // Stores the records in the board database file through a library of its
    // own, so the test's board has counted nothing and loaded nothing.
    static void SeedBoard(const std::vector<TunProgDataTag>& records) {
        cardlib::Board seeding(cardlib::Board::Current().Path());
        ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        ASSERT_EQ(DVB_DelAllDBProgData(), DVB_ERR_OK);
        for (size_t i = 0; i < records.size(); ++i) {
            TunProgDataTag r = records[i];
            r.index = static_cast<uint32_t>(i + 1);
            ASSERT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &r), DVB_ERR_OK);
        }
        ASSERT_EQ(DVB_SaveDBProgData(), DVB_ERR_OK);
    }

    // What the board database file holds now, read as a fresh library would.
    static std::vector<TunProgDataTag> StoredPrograms() {
        cardlib::Board fresh(cardlib::Board::Current().Path());
        std::vector<TunProgDataTag> records;
        uint32_t first = 0, count = 0;
        EXPECT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        EXPECT_EQ(DVB_GetDBProgCount(&first, &count), DVB_ERR_OK);
        for (uint32_t p = 1; p <= count; ++p) {
            TunProgDataTag r;
            uint32_t size = kTunProgDataTagSize;
            EXPECT_EQ(DVB_GetDBProgData(p, &size, &r), DVB_ERR_OK);
            records.push_back(r);
        }
        return records;
    }

    static std::vector<std::string> Names(const std::vector<TunProgDataTag>& records) {
        std::vector<std::string> names;
        for (const auto& r : records) names.push_back(r.name);
        return names;
    }

    // The texts of one column, top to bottom.
    static std::vector<std::string> Column(ProgramListDialog& window, int column) {
        std::vector<std::string> cells;
        fw::ListView& list = window.ProgramList();
        for (int row = 0; row < list.GetItemCount(); ++row) cells.push_back(list.GetItemText(row, column));
        return cells;
    }

    // Appends programs to the window's list as rows, without the database.
    static void AddRows(ProgramListDialog& window, const std::vector<TunProgDataTag>& records) {
        fw::ListView& list = window.ProgramList();
        for (const auto& r : records) window.RecordToRow(r, list.InsertItem(list.GetItemCount(), ""));
    }

    static std::vector<std::string> Calls() { return cardlib::Board::Current().Calls().names; }
    static void RecordCalls() {
        cardlib::Board::Current().Calls().recordNames = true;
        cardlib::Board::Current().Calls().names.clear();
    }

private:
    std::filesystem::path m_Dir = MakeTempDir();
    fw::Profile m_Profile{SettingsFile().string()};

public:
    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Board board{BoardFile().string()};
    cardlib::Card card;
};

}  // namespace programtest
