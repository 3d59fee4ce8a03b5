#pragma once

#include <bitset>
#include <cstdint>

// How much of a requested table has arrived: the sections decoded and the
// sections the table has (both 0 until its first section).
struct TableProgress {
    int received = 0;
    int total = 0;
    bool IsIncomplete() const { return received > 0 && received < total; }
};

// The sections of one table that a request has taken so far. A table is
// whole when sections 0 to last_section_number of one version have arrived
// (ISO/IEC 13818-1 2.4.4.11); a new version starts the count again.
class TableSections {
public:
    enum class Take {
        Foreign,  // another table, a sub-table not asked for, or no long-form header
        Repeat,   // a section of this version already taken
        New,
    };

    // Collects table `tableId`; with `tableIdExtension` >= 0 only the
    // sub-table with that table_id_extension (a PMT's program_number, a
    // NIT's network_id). `tableIdMask` names the table id bits compared: 0xFE
    // takes one network's NIT whether it comes as actual or as other.
    void Start(uint8_t tableId, int tableIdExtension = -1, uint8_t tableIdMask = 0xFF);
    void Stop() { m_Collecting = false; }
    bool IsCollecting() const { return m_Collecting; }

    Take Add(const unsigned char* data, int length);
    bool IsComplete() const { return m_Collecting && m_Version >= 0 && Progress().received == Progress().total; }
    TableProgress Progress() const;

private:
    bool m_Collecting = false;
    uint8_t m_TableId = 0;
    uint8_t m_TableIdMask = 0xFF;
    int m_Extension = -1;
    int m_Version = -1;
    int m_LastSection = 0;
    std::bitset<256> m_Taken;
};
