// Arbitrary bytes as a VDR channels.conf (see ChannelFileFuzz.h).
#include "fuzz/ChannelFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return channelfilefuzz::ImportExportImport(exchange::Format::Vdr, data, size);
}
