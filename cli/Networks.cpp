#include "cli/Networks.h"

#include <unistd.h>

#include <filesystem>

#include "app/CardStatus.h"
#include "cardlib/Card.h"
#include "cardsetup/CardSettings.h"
#include "cli/Board.h"
#include "framework/Clock.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"

namespace cli {

bool ListNetworks(fw::HeadlessHost& host, std::vector<NetworkOnAir>& networks, std::string& error) {
    res::RegisterResources(host);
    std::vector<std::string> messages;
    ScanChannelsDialog* running = nullptr;
    // A message while the window listens is the card's (a device error): it ends the listening.
    host.OnMessage([&](const std::string& text) {
        messages.push_back(text);
        if (running) running->EndDialog(2);
    });
    host.ScriptModal(res::IDD_SCAN_CHANNELS,
                     [&](fw::Dialog& dialog) { running = dynamic_cast<ScanChannelsDialog*>(&dialog); });
    {
        ProgramListDialog window(host);
        CardStatus cardStatus(cardlib::Card::Current(), window);
        host.Open(window);
        if (messages.empty()) {
            ScanChannelsDialog scan(host, &window, 0);
            scan.ListNetworksOnly();
            window.RunScan(scan);
            running = nullptr;
            networks = scan.Networks().List();
        }
        host.Close(window);
    }
    if (!messages.empty()) {
        error = messages.front();
        return false;
    }
    if (networks.empty()) {
        error = "no network answered: no NIT on the home transport within " +
                std::to_string(ScanChannelsDialog::kNetworkListenMs / 1000) + " s (see HomeFrequency in card.ini)";
        return false;
    }
    return true;
}

bool RunNetworks(std::vector<NetworkOnAir>& networks, std::string& error) {
    // The window's settings that the listening reads, in a file of its own.
    const std::filesystem::path settings =
        std::filesystem::temp_directory_path() / ("kelvane-cli-networks-" + std::to_string(getpid()) + ".INI");
    bool ok = false;
    {
        // The window opens the board before it makes its table filters; the
        // listening reads and writes no program.
        Board board((settings.string() + ".db"));
        fw::HeadlessHost host(fw::SystemClock().NowMs());
        host.SetRealTimeWait(fw::HeadlessHost::PollWait);
        fw::Profile profile(settings.string());
        host.SetProfile(&profile);
        profile.WriteInt("ScanNetwork", "TickMs", 100);
        profile.WriteInt("ScanNetwork", "ChainSteps", 1);
        cardlib::Card card;
        std::string deviceProblem;
        cardlib::ConfigureFromSettings(card, host, &deviceProblem);
        if (!deviceProblem.empty()) error = deviceProblem;
        else ok = ListNetworks(host, networks, error);
    }
    std::error_code ec;
    std::filesystem::remove(settings, ec);
    return ok;
}

std::string NetworksTable(const std::vector<NetworkOnAir>& networks) {
    std::string out;
    for (const NetworkOnAir& network : networks) out += NetworksOnAir::Describe(network) + "\n";
    return out;
}

}  // namespace cli
