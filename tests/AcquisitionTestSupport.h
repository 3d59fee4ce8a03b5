#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "broadcast/Crc32.h"
#include "si/ScanRowWriter.h"

namespace acquisition_test {

inline std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline void AppendCrc(std::vector<unsigned char>& section) {
    const uint32_t crc = si::Crc32Mpeg2(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<unsigned char>(crc >> shift));
}

// A long-form section: table id, section_length over `body` and the CRC,
// `body`, then a correct CRC_32.
inline std::vector<unsigned char> MakeSection(unsigned char tableId, const std::vector<unsigned char>& body) {
    const size_t sectionLength = body.size() + 4;
    std::vector<unsigned char> section{tableId, static_cast<unsigned char>(0xB0 | ((sectionLength >> 8) & 0x0F)),
                                       static_cast<unsigned char>(sectionLength & 0xFF)};
    section.insert(section.end(), body.begin(), body.end());
    AppendCrc(section);
    return section;
}

// Sections written by FFmpeg 5.1's MPEG-TS muxer for one radio service:
// transport_stream_id 0x0444, original_network_id 1, service 0x0102 on PMT
// PID 0x0100, one MPEG audio stream (type 3) on PID 0x0200, which is also the
// PCR PID; service name "Radio1", provider "Kelv".
inline const char* const kFfmpegPat = "00b00d0444c100000102e1007cbba815";
inline const char* const kFfmpegPmt = "02b0120102c10000e200f00003e200f000dfeb3c56";
inline const char* const kFfmpegSdt = "42f0200444c100000001ff0102fc800f480d01044b656c7606526164696f3153f86383";

// A NIT actual of network 1 listing transport 0x0444 (original network 1)
// with a cable delivery system descriptor.
inline std::vector<unsigned char> NitSection(unsigned char tableId = 0x40) {
    return MakeSection(tableId, {0x00, 0x01, 0xC1, 0x00, 0x00, 0xF0, 0x00, 0xF0, 0x13,
                                 // transport_stream_id, original_network_id, descriptors length
                                 0x04, 0x44, 0x00, 0x01, 0xF0, 0x0D,
                                 // cable_delivery_system_descriptor: 346 MHz, 64-QAM, 6.9 Msym/s
                                 0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00, 0x0F});
}

// An EIT section header without events: service 0x0102, version 1, current,
// section 0 of 0, segment last 0, transport 0x0444, network 1. Its byte count
// is 18, so the event walk ends exactly at the CRC.
inline std::vector<unsigned char> EitSection(unsigned char tableId = 0x4E) {
    return MakeSection(tableId, {0x01, 0x02, 0xC3, 0x00, 0x00, 0x04, 0x44, 0x00, 0x01, 0x00, tableId});
}

// Records what the decoders hand to the scan window, one line per row.
class RecordingWriter : public ScanRowWriter {
public:
    std::vector<std::string> rows;

    void AddTransport(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t, uint32_t, uint32_t,
                      uint32_t) override {
        rows.push_back("transport " + std::to_string(transportStreamId) + " " + std::to_string(originalNetworkId));
    }
    void SetTransportSdtVersion(uint32_t transportStreamId, uint32_t, uint32_t) override {
        rows.push_back("sdt version " + std::to_string(transportStreamId));
    }
    void AddServiceDetails(uint32_t transportStreamId, uint32_t, uint32_t serviceId, uint32_t, const std::string&,
                           const std::string&, const std::vector<uint16_t>&, uint32_t) override {
        rows.push_back("service " + std::to_string(transportStreamId) + " " + std::to_string(serviceId));
    }
    void SetServiceNvodReference(uint32_t, uint32_t, uint32_t serviceId, uint32_t) override {
        rows.push_back("nvod " + std::to_string(serviceId));
    }
    void AddPatEntry(int transportStreamId, int programNumber, int pid) override {
        rows.push_back("pat " + std::to_string(transportStreamId) + " " + std::to_string(programNumber) + " " +
                       std::to_string(pid));
    }
    void AddPmtStream(int programNumber, int, int elementaryPid, unsigned char streamType, unsigned char,
                      si::StreamKind) override {
        rows.push_back("pmt " + std::to_string(programNumber) + " " + std::to_string(elementaryPid) + " " +
                       std::to_string(streamType));
    }
    bool Has(const std::string& row) const {
        for (const std::string& r : rows)
            if (r == row) return true;
        return false;
    }
};

}  // namespace acquisition_test
