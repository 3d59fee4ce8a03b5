#include "cardlib/TsDemux.h"

#include <cstring>

namespace cardlib {

struct TsDemux::PidState {
    explicit PidState(uint16_t p) : pid(p) { section.reserve(kMaxSectionSize); }
    uint16_t pid;
    int lastCc = -1;             // none seen yet
    bool assembling = false;     // a section has begun and is not complete
    size_t total = 0;            // its full size once the header is in, else 0
    std::vector<uint8_t> section;
};

TsDemux::TsDemux(SectionHandler& handler) : m_Handler(handler) {}

TsDemux::~TsDemux() = default;

void TsDemux::SetWanted(uint16_t pid, bool wanted) {
    if (pid >= kPidCount || Wants(pid) == wanted) return;
    if (wanted) {
        m_States.push_back(std::make_unique<PidState>(pid));
        m_Index[pid] = static_cast<uint16_t>(m_States.size());
        return;
    }
    const size_t at = m_Index[pid] - 1u;
    if (m_States[at]->assembling) ++m_Counters.sectionsDropped;
    m_Index[pid] = 0;
    if (at + 1 != m_States.size()) {
        m_States[at] = std::move(m_States.back());
        m_Index[m_States[at]->pid] = static_cast<uint16_t>(at + 1);
    }
    m_States.pop_back();
}

void TsDemux::Reset() {
    m_CarrySize = 0;
    m_InSync = false;
    for (auto& state : m_States) {
        if (state->assembling) ++m_Counters.sectionsDropped;
        state->assembling = false;
        state->total = 0;
        state->section.clear();
        state->lastCc = -1;
    }
}

void TsDemux::Drop(PidState& state) {
    if (state.assembling) ++m_Counters.sectionsDropped;
    state.assembling = false;
    state.total = 0;
    state.section.clear();
}

// Bytes went missing somewhere: no section in progress can be trusted.
void TsDemux::LoseSync() {
    if (m_InSync) ++m_Counters.syncLosses;
    m_InSync = false;
    for (auto& state : m_States) {
        Drop(*state);
        state->lastCc = -1;
    }
}

void TsDemux::Feed(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    const uint8_t* const end = data + size;

    while (m_CarrySize > 0) {
        const size_t need = kPacketSize - m_CarrySize;
        if (size < need) {
            std::memcpy(m_Carry.data() + m_CarrySize, data, size);
            m_CarrySize += size;
            return;
        }
        std::memcpy(m_Carry.data() + m_CarrySize, data, need);
        const uint8_t* after = data + need;
        if (after == end && !m_InSync) {
            // Sync is not found until the packet after confirms it.
            m_CarrySize = kPacketSize;
            return;
        }
        // The packet after it must start where this one ends, or this one was cut short.
        if (after < end && *after != kSyncByte) {
            LoseSync();
            // Try the next sync byte among the carried bytes, then the new ones again.
            const void* next = std::memchr(m_Carry.data() + 1, kSyncByte, m_CarrySize - 1);
            if (!next) {
                m_CarrySize = 0;
                break;
            }
            const size_t skip = static_cast<size_t>(static_cast<const uint8_t*>(next) - m_Carry.data());
            std::memmove(m_Carry.data(), m_Carry.data() + skip, m_CarrySize - skip);
            m_CarrySize -= skip;
            continue;
        }
        m_CarrySize = 0;
        p = after;
        m_InSync = true;
        ++m_Counters.packets;
        const uint16_t pid = static_cast<uint16_t>(((m_Carry[1] & 0x1F) << 8) | m_Carry[2]);
        if (m_Index[pid] != 0) ProcessPacket(m_Carry.data());
    }

    while (static_cast<size_t>(end - p) >= kPacketSize) {
        const size_t left = static_cast<size_t>(end - p);
        if (left == kPacketSize && !m_InSync && p[0] == kSyncByte) break;  // waits for confirmation
        if (p[0] != kSyncByte || (left > kPacketSize && p[kPacketSize] != kSyncByte)) {
            LoseSync();
            const void* next = std::memchr(p + 1, kSyncByte, left - 1);
            p = next ? static_cast<const uint8_t*>(next) : end;
            continue;
        }
        m_InSync = true;
        ++m_Counters.packets;
        const uint16_t pid = static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
        if (m_Index[pid] != 0) ProcessPacket(p);
        p += kPacketSize;
    }

    if (p < end) {
        if (*p != kSyncByte) {
            LoseSync();
            const void* next = std::memchr(p, kSyncByte, static_cast<size_t>(end - p));
            if (!next) return;
            p = static_cast<const uint8_t*>(next);
        }
        m_CarrySize = static_cast<size_t>(end - p);
        std::memcpy(m_Carry.data(), p, m_CarrySize);
    }
}

void TsDemux::Flush() {
    if (m_CarrySize != kPacketSize) return;
    m_CarrySize = 0;
    m_InSync = true;
    ++m_Counters.packets;
    const uint16_t pid = static_cast<uint16_t>(((m_Carry[1] & 0x1F) << 8) | m_Carry[2]);
    if (m_Index[pid] != 0) ProcessPacket(m_Carry.data());
}

void TsDemux::ProcessPacket(const uint8_t* packet) {
    const uint16_t pid = static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
    PidState& state = *m_States[m_Index[pid] - 1u];

    if (packet[1] & 0x80) {
        // transport_error_indicator: at least one uncorrectable bit error in this packet.
        ++m_Counters.transportErrors;
        Drop(state);
        state.lastCc = -1;
        return;
    }
    const bool unitStart = (packet[1] & 0x40) != 0;
    const unsigned adaptation = (packet[3] >> 4) & 0x3;
    const int cc = packet[3] & 0x0F;
    // ISO/IEC 13818-1 2.4.3.3: adaptation_field_control 00 is reserved; such packets are discarded.
    if (adaptation == 0) return;

    size_t offset = 4;
    bool discontinuity = false;
    if (adaptation & 0x2) {
        const size_t length = packet[4];
        // 2.4.3.5: 0..182 with a payload, 183 without.
        if (length > (adaptation == 0x3 ? 182u : 183u)) {
            Drop(state);
            state.lastCc = -1;
            return;
        }
        if (length > 0) discontinuity = (packet[5] & 0x80) != 0;
        offset = 5 + length;
    }
    // 2.4.3.3: the continuity counter does not advance in packets without payload.
    if (!(adaptation & 0x1)) return;

    if (state.lastCc >= 0 && !discontinuity) {
        // A packet may be sent twice in a row; the copy carries nothing new.
        if (cc == state.lastCc) return;
        if (cc != ((state.lastCc + 1) & 0x0F)) {
            ++m_Counters.continuityErrors;
            Drop(state);
        }
    } else if (discontinuity) {
        Drop(state);
    }
    state.lastCc = cc;

    const uint8_t* payload = packet + offset;
    const size_t size = kPacketSize - offset;
    if (!unitStart) {
        // Without a unit start no new section may begin here, so whatever
        // follows the end of the current one is stuffing.
        if (state.assembling) Append(state, payload, size);
        return;
    }
    // 2.4.4.2: pointer_field counts the bytes up to the first section that begins here.
    const size_t pointer = payload[0];
    if (pointer + 1 >= size) {
        Drop(state);
        return;
    }
    if (state.assembling) {
        Append(state, payload + 1, pointer);
        // The tail before the pointer must finish the section in progress.
        if (state.assembling) Drop(state);
    }
    StartSections(state, payload + 1 + pointer, size - 1 - pointer);
}

void TsDemux::StartSections(PidState& state, const uint8_t* data, size_t size) {
    while (size > 0) {
        // 0xFF where a table id would be: stuffing up to the end of the packet.
        if (data[0] == 0xFF) return;
        state.assembling = true;
        const size_t used = Append(state, data, size);
        if (state.assembling) return;  // continues in a later packet
        data += used;
        size -= used;
    }
}

size_t TsDemux::Append(PidState& state, const uint8_t* data, size_t size) {
    size_t used = 0;
    if (state.total == 0) {
        while (state.section.size() < 3 && used < size) state.section.push_back(data[used++]);
        if (state.section.size() < 3) return used;
        const size_t sectionLength = static_cast<size_t>(((state.section[1] & 0x0F) << 8) | state.section[2]);
        if (sectionLength > kMaxSectionSize - 3) {
            Drop(state);
            return size;
        }
        state.total = 3 + sectionLength;
    }
    const size_t want = state.total - state.section.size();
    const size_t take = want < size - used ? want : size - used;
    state.section.insert(state.section.end(), data + used, data + used + take);
    used += take;
    if (state.section.size() == state.total) {
        ++m_Counters.sectionsDelivered;
        state.assembling = false;
        state.total = 0;
        m_Handler.OnSection(state.pid, state.section.data(), state.section.size());
        state.section.clear();
    }
    return used;
}

}  // namespace cardlib
