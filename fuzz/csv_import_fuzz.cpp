// Arbitrary bytes as a CSV file of the program list (see ChannelFileFuzz.h).
#include "fuzz/ChannelFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return channelfilefuzz::ImportExportImport(exchange::Format::Csv, data, size);
}
