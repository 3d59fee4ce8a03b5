#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;
namespace fs = std::filesystem;

namespace {

Bytes Private93(const Bytes& name, const Bytes& payload) { return Section(0x93, name + payload, false); }

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct DumpFolder : ::testing::Test {
    fs::path root;
    std::string dumpDir;
    void SetUp() override {
        root = fs::temp_directory_path() / ("kelvane-dump-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "DVB-Appl");
        dumpDir = (root / "DVB-Appl").string() + "/";
    }
    void TearDown() override { fs::remove_all(root); }
    void Feed(const Bytes& section, const std::string& dir) {
        Bytes exact(section);
        si::DecodePrivate93(exact.data(), static_cast<int>(exact.size()), dir);
    }
};

const Bytes kName{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xAB};

TEST_F(DumpFolder, FirstDumpOfANameIsKeptAndNeverOverwritten) {
    Feed(Private93(kName, {0xDE, 0xAD}), dumpDir);
    Feed(Private93(kName, {0xBE, 0xEF, 0x00}), dumpDir);
    ASSERT_EQ(FilesIn(dumpDir), std::vector<std::string>{"0102030405060708AB"});
    EXPECT_EQ(ReadFile(dumpDir + "0102030405060708AB"), (Bytes{0xDE, 0xAD}));

    // Neither does a folder of that name get replaced.
    const Bytes other{0xFF, 0, 0, 0, 0, 0, 0, 0, 0x0C};
    fs::create_directory(dumpDir + "FF000000000000000C");
    Feed(Private93(other, {1}), dumpDir);
    EXPECT_TRUE(fs::is_directory(dumpDir + "FF000000000000000C"));
}

TEST_F(DumpFolder, PayloadLengthFollowsSectionLength) {
    struct Case {
        const char* name;
        Bytes section;
        std::vector<std::string> files;
        Bytes contents;
    };
    Bytes empty = Private93(kName, {});  // section_length 13
    Bytes below = empty;
    below[2] = 12;
    Bytes shorter = Private93(kName, {1, 2, 3, 4});
    shorter[2] = 15;  // two payload bytes, the rest is ignored
    Bytes overlong = Private93(kName, {1, 2, 3, 4});
    overlong[1] = 0x7F;
    overlong[2] = 0xFF;  // more payload than the section holds
    const Case cases[] = {
        {"section_length 13 gives an empty file", empty, {"0102030405060708AB"}, {}},
        {"section_length below 13 gives nothing", below, {}, {}},
        {"section_length shorter than the bytes", shorter, {"0102030405060708AB"}, {1, 2}},
        {"section_length past the bytes gives nothing", overlong, {}, {}},
        {"no room for the name", Bytes{0x93, 0x70, 0x0D, 1, 2, 3}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dumpDir);
        fs::create_directory(dumpDir);
        Feed(c.section, dumpDir);
        EXPECT_EQ(FilesIn(dumpDir), c.files);
        if (!c.files.empty()) {
            EXPECT_EQ(ReadFile(dumpDir + c.files[0]), c.contents);
        }
    }
}

TEST_F(DumpFolder, MissingFolderIsNotCreated) {
    const std::string missing = (root / "absent" / "DVB-Appl").string() + "/";
    Feed(Private93(kName, {1}), missing);
    EXPECT_FALSE(fs::exists(root / "absent"));
}

TEST(DefaultDumpDirectory, IsDvbApplInTheDocumentsFolder) {
    struct Env {
        const char* name;
        std::string saved;
        bool had;
    };
    std::vector<Env> env;
    for (const char* name : {"HOME", "XDG_DOCUMENTS_DIR", "XDG_CONFIG_HOME"}) {
        const char* v = std::getenv(name);
        env.push_back({name, v ? v : "", v != nullptr});
    }
    const fs::path home = fs::temp_directory_path() / ("kelvane-home-" + std::to_string(::getpid()));
    fs::create_directories(home / ".config");
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DOCUMENTS_DIR");

    EXPECT_EQ(si::DefaultDumpDirectory(), home.string() + "/Documents/DVB-Appl/");
    std::ofstream(home / ".config" / "user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                         "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                                         "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(si::DefaultDumpDirectory(), home.string() + "/Dokumente/DVB-Appl/");
    ::setenv("XDG_DOCUMENTS_DIR", "/srv/docs", 1);
    EXPECT_EQ(si::DefaultDumpDirectory(), "/srv/docs/DVB-Appl/");
    EXPECT_FALSE(fs::exists(home / "Dokumente"));

    for (const Env& e : env) {
        if (e.had) ::setenv(e.name, e.saved.c_str(), 1);
        else ::unsetenv(e.name);
    }
    fs::remove_all(home);
}

}  // namespace
