// Arbitrary bytes as an m3u playlist (see ChannelFileFuzz.h).
#include "fuzz/ChannelFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return channelfilefuzz::ImportExportImport(exchange::Format::M3u, data, size);
}
