// Arbitrary bytes as a dvbv5 channel file (see ChannelFileFuzz.h).
#include "fuzz/ChannelFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return channelfilefuzz::ImportExportImport(exchange::Format::Dvbv5, data, size);
}
