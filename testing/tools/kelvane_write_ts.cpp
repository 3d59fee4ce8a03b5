// Writes the simulated cable network as a folder of transport-stream files,
// one "<kHz>.ts" per transport, for the stand-in card's file backend.
#include <cstdio>
#include <cstring>
#include <string>

#include "simnet/SimNetwork.h"
#include "testing/CaptureWriter.h"

int main(int argc, char** argv) {
    const char* which = argc == 3 ? argv[2] : "default";
    if (argc < 2 || argc > 3 ||
        (std::strcmp(which, "large") != 0 && std::strcmp(which, "default") != 0 && std::strcmp(which, "operator") != 0)) {
        std::fprintf(stderr, "usage: %s FOLDER [default|large|operator]\n", argv[0]);
        return 2;
    }
    const cardlib::SimNetwork& network = std::strcmp(which, "large") == 0      ? cardlib::LargeNetwork()
                                         : std::strcmp(which, "operator") == 0 ? cardlib::OperatorNetwork()
                                                                               : cardlib::DefaultNetwork();
    std::string error;
    if (!cardlib::WriteTsFolder(network, argv[1], &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    size_t files = 0;
    for (const auto& t : network.transports) files += t.locks ? 1 : 0;
    std::printf("%zu transport-stream files written to %s\n", files, argv[1]);
    return 0;
}
