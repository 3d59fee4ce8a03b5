// Finding SAT>IP servers: what their SSDP answers and device descriptions
// say (and what is dropped), the emulated server answering on loopback,
// and kelvane-cli when nobody answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "satip/SatIpDiscovery.h"
#include "satip/SatIpNet.h"
#include "tests/CliTestSupport.h"
#include "tests/ProgramTestSupport.h"
#include "tests/SatIpServerProcess.h"

namespace {

namespace satip = cardlib::satip;

const std::string kAnswer =
    "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nlocation: http://192.168.178.1:49000/satipdesc.xml\r\n"
    "ST: urn:ses-com:device:SatIPServer:1\r\nUSN: uuid:1::urn:ses-com:device:SatIPServer:1\r\n\r\n";

TEST(SatIpDiscovery, AnswersGiveTheirLocationAndOthersAreDropped) {
    EXPECT_EQ(satip::ReadSsdpAnswer(kAnswer), "http://192.168.178.1:49000/satipdesc.xml");
    const struct {
        const char* what;
        std::string datagram;
    } dropped[] = {
        {"another device", "HTTP/1.1 200 OK\r\nLOCATION: http://h/d.xml\r\nST: upnp:rootdevice\r\n\r\n"},
        {"no location", "HTTP/1.1 200 OK\r\nST: urn:ses-com:device:SatIPServer:1\r\n\r\n"},
        {"not http", "HTTP/1.1 200 OK\r\nLOCATION: ftp://h/d.xml\r\nST: urn:ses-com:device:SatIPServer:1\r\n\r\n"},
        {"bad port", "HTTP/1.1 200 OK\r\nLOCATION: http://h:99999/\r\nST: urn:ses-com:device:SatIPServer:1\r\n\r\n"},
        {"a search", satip::MSearch()},
        {"too long", kAnswer + std::string(5000, 'x')},
        {"nothing", ""},
    };
    for (const auto& d : dropped) EXPECT_FALSE(satip::ReadSsdpAnswer(d.datagram)) << d.what;

    const auto url = satip::ReadHttpUrl("http://192.168.178.1:49000/satipdesc.xml");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "192.168.178.1");
    EXPECT_EQ(url->port, 49000);
    EXPECT_EQ(url->path, "/satipdesc.xml");
    EXPECT_EQ(satip::ReadHttpUrl("HTTP://box")->path, "/");
}

TEST(SatIpDiscovery, DescriptionsGiveNameAndDvbcTuners) {
    const auto xml = [](const std::string& type, const std::string& caps) {
        return "<?xml version=\"1.0\"?><root><device><deviceType>" + type +
               "</deviceType><friendlyName> FRITZ!Box 6690 &amp; Co </friendlyName>" + caps + "</device></root>";
    };
    const std::string type = satip::kServerType;
    const struct {
        std::string caps;
        unsigned dvbc;
    } cases[] = {
        {"<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBC-4</satip:X_SATIPCAP>", 4},
        {"<satip:X_SATIPCAP>DVBS2-2,DVBT-2,DVBC-2</satip:X_SATIPCAP>", 2},
        {"<satip:X_SATIPCAP>DVBS2-8,DVBC2-2</satip:X_SATIPCAP>", 0},
        {"<satip:X_SATIPCAP>DVBC-x,DVBC-</satip:X_SATIPCAP>", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caps);
        const auto d = satip::ReadDeviceDescription(xml(type, c.caps));
        ASSERT_TRUE(d);
        EXPECT_EQ(d->name, "FRITZ!Box 6690 & Co");
        EXPECT_EQ(d->dvbcTuners, c.dvbc);
    }
    EXPECT_FALSE(satip::ReadDeviceDescription(xml("urn:schemas-upnp-org:device:MediaServer:1", "")));
    EXPECT_FALSE(satip::ReadDeviceDescription("<deviceType>" + type));
    EXPECT_FALSE(satip::ReadDeviceDescription(xml(type, std::string(70000, ' '))));
}

// The emulated server, asked alone: it answers, its description is read,
// and it is listed once however often it answers.
TEST(SatIpDiscovery, TheEmulatedServerAnswersOnLoopback) {
    satiptest::ServerProcess server({"--network", "quick", "--tuners", "3", "--seconds", "30"});
    ASSERT_NE(server.ssdpPort, 0);
    const auto net = cardlib::SystemSatIpNet();
    const auto found = satip::Discover(*net, 1500, "127.0.0.1", server.ssdpPort);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].address, "127.0.0.1");
    EXPECT_EQ(found[0].name, "Kelvane emulated SAT>IP server");
    EXPECT_EQ(found[0].dvbcTuners, 3u);
}

// Nobody on the network: one line and status 1, after the wait, for the
// list and for a scan that was to find its server.
TEST(SatIpDiscovery, NobodyAnsweringEndsWithOneLine) {
    const std::filesystem::path dir = programtest::MakeTempDir();
    std::filesystem::create_directories(dir / "config/kelvane");
    programtest::WriteFile(dir / "config/kelvane/card.ini", "[Card]\nBackend=satip\nHomeFrequency=346000\n");
    const auto run = [&](const std::vector<std::string>& args) {
        const clitest::CliRun ran = clitest::RunCli(dir, args);
        return std::make_pair(ran.status, ran.err);
    };
    // A real server on the machine's network would answer: nothing to check then.
    auto [status, err] = run({"satip-servers"});
    if (status == 0) GTEST_SKIP() << "a SAT>IP server answers on this network";
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "kelvane-cli: no SAT>IP server answered within 3 s\n");
    std::tie(status, err) = run({"scan", "--db", (dir / "board.db").string()});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "kelvane-cli: No SAT>IP server with DVB-C tuners answered within 3 s. Set Server=HOST (or HOST:PORT) in card.ini.\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
