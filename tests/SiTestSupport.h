#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "broadcast/Crc32.h"
#include "si/ScanRowWriter.h"

namespace sitest {

using Bytes = std::vector<uint8_t>;

// The system's CRC-32/MPEG-2, vouched for by its known vectors (CrcTest).
using si::Crc32Mpeg2;

inline void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
inline void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
inline Bytes operator+(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}

// A descriptor: tag, length, body.
inline Bytes Descriptor(uint8_t tag, const Bytes& body) {
    Bytes d{tag, static_cast<uint8_t>(body.size())};
    Append(d, body);
    return d;
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A whole section: table id, a section_length that covers `afterLength` and the
// CRC, and the CRC. With `sectionSyntax` the length field carries the syntax
// indicator and reserved bits, as a real long-form section does.
inline Bytes Section(uint8_t tableId, const Bytes& afterLength, bool sectionSyntax = true) {
    Bytes s{tableId};
    const unsigned sectionLength = static_cast<unsigned>(afterLength.size()) + 4;
    Put16(s, (sectionSyntax ? 0xB000u : 0x7000u) | sectionLength);
    Append(s, afterLength);
    const uint32_t crc = Crc32Mpeg2(s.data(), s.size());
    Put16(s, crc >> 16);
    Put16(s, crc & 0xFFFF);
    return s;
}

// The five long-form header bytes after section_length: a 16-bit id,
// version/current-next, section_number, last_section_number.
inline Bytes LongHeader(unsigned id, unsigned version, unsigned sectionNumber = 0, unsigned lastSectionNumber = 0) {
    Bytes b;
    Put16(b, id);
    b.push_back(static_cast<uint8_t>(0xC0 | (version & 0x1F) << 1 | 1));
    b.push_back(static_cast<uint8_t>(sectionNumber));
    b.push_back(static_cast<uint8_t>(lastSectionNumber));
    return b;
}

// Records every row writer call as one line of text, so a test compares what
// the scan window was told in one expectation.
class RecordingScanRowWriter : public ScanRowWriter {
public:
    std::vector<std::string> calls;
    // The kind of each AddPmtStream call, in order.
    std::vector<si::StreamKind> kinds;
    // SetServiceChannelNumber calls: "NW TS SID LCN".
    std::vector<std::string> channelNumbers;
    void SetServiceChannelNumber(uint32_t nw, uint32_t ts, uint32_t sid, uint32_t lcn) override {
        channelNumbers.push_back(Join({nw, ts, sid, lcn}));
    }
    std::vector<std::string> serviceNames, providerNames;  // raw, as handed over

    void AddTransport(uint32_t ts, uint32_t nw, uint32_t frequency, uint32_t symbolRate, uint32_t modulation,
                      uint32_t fecInner) override {
        calls.push_back("AddTransport " + Join({ts, nw, frequency, symbolRate, modulation, fecInner}));
    }
    void SetTransportSdtVersion(uint32_t ts, uint32_t nw, uint32_t version) override {
        calls.push_back("SetTransportSdtVersion " + Join({ts, nw, version}));
    }
    void AddServiceDetails(uint32_t ts, uint32_t nw, uint32_t sid, uint32_t type, const std::string& name,
                           const std::string& provider, const std::vector<uint16_t>& caIds,
                           uint32_t nvodReference) override {
        serviceNames.push_back(name);
        providerNames.push_back(provider);
        std::string ca;
        for (uint16_t id : caIds) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04X ", id);
            ca += hex;
        }
        calls.push_back("AddServiceDetails " + Join({ts, nw, sid, type}) + " [" + name + "] [" + provider + "] [" + ca +
                        "] " + std::to_string(nvodReference));
    }
    void SetServiceNvodReference(uint32_t ts, uint32_t nw, uint32_t sid, uint32_t reference) override {
        calls.push_back("SetServiceNvodReference " + Join({ts, nw, sid, reference}));
    }
    void AddPatEntry(int ts, int programNumber, int pid) override {
        calls.push_back("AddPatEntry " + std::to_string(ts) + " " + std::to_string(programNumber) + " " +
                        std::to_string(pid));
    }
    void AddPmtStream(int programNumber, int pcrPid, int pid, unsigned char streamType, unsigned char componentTag,
                      si::StreamKind kind) override {
        kinds.push_back(kind);
        calls.push_back("AddPmtStream " + std::to_string(programNumber) + " " + std::to_string(pcrPid) + " " +
                        std::to_string(pid) + " " + std::to_string(streamType) + " " + std::to_string(componentTag));
    }

private:
    static std::string Join(std::initializer_list<uint32_t> values) {
        std::string s;
        for (uint32_t v : values) {
            if (!s.empty()) s += ' ';
            s += std::to_string(v);
        }
        return s;
    }
};

// Cuts the sections of one PID out of a transport stream (ISO/IEC 13818-1
// 2.4.3: payload_unit_start_indicator and pointer_field), first section of each
// table only as long as the stream repeats nothing else.
inline std::vector<Bytes> SectionsOnPid(const Bytes& ts, uint16_t wantedPid) {
    std::vector<Bytes> sections;
    Bytes pending;
    bool collecting = false;
    auto flush = [&](bool force) {
        // Sections back to back in `pending`, stuffing (0xFF) after the last.
        while (pending.size() >= 3 && pending[0] != 0xFF) {
            const size_t total = 3 + (((pending[1] & 0x0F) << 8) | pending[2]);
            if (pending.size() < total) break;
            sections.emplace_back(pending.begin(), pending.begin() + static_cast<long>(total));
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(total));
        }
        if (force || (!pending.empty() && pending[0] == 0xFF)) pending.clear();
    };
    for (size_t off = 0; off + 188 <= ts.size(); off += 188) {
        const uint8_t* p = &ts[off];
        if (p[0] != 0x47) continue;
        const uint16_t pid = static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
        if (pid != wantedPid) continue;
        const bool start = p[1] & 0x40;
        size_t pos = 4;
        const unsigned adaptation = (p[3] >> 4) & 0x3;
        if (adaptation == 2) continue;
        if (adaptation == 3) pos += 1 + p[4];
        if (pos >= 188) continue;
        if (start) {
            const size_t pointer = p[pos++];
            if (collecting && pos + pointer <= 188) pending.insert(pending.end(), p + pos, p + pos + pointer);
            flush(true);
            pos += pointer;
            collecting = true;
        }
        if (collecting && pos < 188) pending.insert(pending.end(), p + pos, p + 188);
        flush(false);
    }
    flush(true);
    return sections;
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sitest
