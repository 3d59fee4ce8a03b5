#include "acquisition/TableSections.h"

#include "broadcast/SectionReader.h"

void TableSections::Start(uint8_t tableId, int tableIdExtension, uint8_t tableIdMask) {
    m_Collecting = true;
    m_TableId = tableId;
    m_TableIdMask = tableIdMask;
    m_Extension = tableIdExtension;
    m_Version = -1;
    m_LastSection = 0;
    m_Taken.reset();
}

TableSections::Take TableSections::Add(const unsigned char* data, int length) {
    si::SectionReader section(data, length);
    const uint8_t table_id = section.U8();
    const bool section_syntax_indicator = (section.U16() & 0x8000) != 0;
    const uint16_t table_id_extension = section.U16();
    const uint8_t versionByte = section.U8();
    const uint8_t section_number = section.U8();
    const uint8_t last_section_number = section.U8();
    if (!m_Collecting || section.Error() || !section_syntax_indicator || (table_id & m_TableIdMask) != m_TableId) return Take::Foreign;
    if (m_Extension >= 0 && table_id_extension != m_Extension) return Take::Foreign;
    // A section not yet applicable (current_next_indicator 0) or numbered
    // past its own last section describes nothing to take.
    if ((versionByte & 0x01) == 0 || section_number > last_section_number) return Take::Foreign;

    const int version_number = (versionByte >> 1) & 0x1F;
    if (version_number != m_Version || last_section_number != m_LastSection) {
        m_Version = version_number;
        m_LastSection = last_section_number;
        m_Taken.reset();
    }
    if (m_Taken.test(section_number)) return Take::Repeat;
    m_Taken.set(section_number);
    return Take::New;
}

TableProgress TableSections::Progress() const {
    if (m_Version < 0) return {};
    return {static_cast<int>(m_Taken.count()), m_LastSection + 1};
}
