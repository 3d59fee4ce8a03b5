// Arbitrary bytes as a zap channels.conf (see ChannelFileFuzz.h).
#include "fuzz/ChannelFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return channelfilefuzz::ImportExportImport(exchange::Format::Zap, data, size);
}
