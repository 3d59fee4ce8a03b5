// Feeds arbitrary sections to the dispatcher and every decoder behind it, with
// a scan window attached, the EIT messages switched on and the dump folder in
// a temporary directory. Each input goes in twice: as it is (CRC check and the
// tables without one), and with its last four bytes made a correct CRC, so
// that the decoders behind the check see the fuzzer's bytes too.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/EpgDvbSocket.h"
#include "cardlib/Card.h"
#include "framework/Dialog.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "broadcast/Crc32.h"
#include "si/DvbText.h"
#include "si/ScanRowWriter.h"
#include "res/Resources.h"

namespace {

// Takes what a scan window takes, and converts the names the way it shows them.
class ConvertingWindow : public ScanRowWriter {
public:
    size_t rows = 0;
    size_t textBytes = 0;

    void AddTransport(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { ++rows; }
    void SetTransportSdtVersion(uint32_t, uint32_t, uint32_t) override { ++rows; }
    void AddServiceDetails(uint32_t, uint32_t, uint32_t, uint32_t, const std::string& name,
                           const std::string& provider, const std::vector<uint16_t>& caIds, uint32_t) override {
        textBytes += si::DvbTextToUtf8(name).size() + si::DvbTextToUtf8(provider).size() + caIds.size();
        ++rows;
    }
    void SetServiceNvodReference(uint32_t, uint32_t, uint32_t, uint32_t) override { ++rows; }
    void AddPatEntry(int, int, int) override { ++rows; }
    void AddPmtStream(int, int, int, unsigned char, unsigned char, si::StreamKind) override { ++rows; }
    void SetServiceChannelNumber(uint32_t, uint32_t, uint32_t, uint32_t) override { ++rows; }
};

struct Harness {
    std::filesystem::path root;
    fw::HeadlessHost host;
    cardlib::Card card;
    std::unique_ptr<fw::Profile> profile;
    std::unique_ptr<fw::Dialog> owner;
    std::unique_ptr<EpgDvbSocket> socket;
    ConvertingWindow window;
    std::string dumpDir;
    uint64_t inputs = 0;

    Harness() {
        root = std::filesystem::temp_directory_path() / ("kelvane-dispatch-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "DVB-Appl");
        dumpDir = (root / "DVB-Appl").string() + "/";
        std::ofstream(root / "kelvane.INI") << "[Debug]\nEPG-Error=1\n";
        profile = std::make_unique<fw::Profile>((root / "kelvane.INI").string());
        host.SetProfile(profile.get());
        res::RegisterResources(host);
        card.Attach(host);
        owner = std::make_unique<fw::Dialog>(host, res::IDD_PROGRAM_LIST);
        socket = std::make_unique<EpgDvbSocket>(*owner);
        socket->SetResultWindow(&window);
        socket->SetDumpDirectory(dumpDir);
    }
    ~Harness() {
        socket.reset();
        owner.reset();
        std::filesystem::remove_all(root);
    }

    void Feed(const uint8_t* data, size_t size) {
        // A copy of exactly the input's size: any read past it is caught.
        std::vector<unsigned char> section(data, data + size);
        socket->Dispatch(section.empty() ? nullptr : section.data(), static_cast<int>(section.size()));
        if (section.size() >= 4) {
            const uint32_t crc = si::Crc32Mpeg2(section.data(), section.size() - 4);
            for (int i = 0; i < 4; ++i) section[section.size() - 4 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
            socket->Dispatch(section.data(), static_cast<int>(section.size()));
        }
        host.ClearMessages();
        // Keep a long run's memory and disk use flat.
        if (socket->EventStore().GetCount() > 512) socket->ClearEventStore();
        if (++inputs % 4096 == 0) {
            std::filesystem::remove_all(root / "DVB-Appl");
            std::filesystem::create_directories(root / "DVB-Appl");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    harness.Feed(data, size);
    return 0;
}
