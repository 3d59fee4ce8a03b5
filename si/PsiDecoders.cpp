// PAT, CAT, PMT and RST: the MPEG-2 program tables and the running status table.
#include "si/Decoders.h"
#include "si/ScanRowWriter.h"
#include "broadcast/SectionReader.h"
#include "broadcast/SiTags.h"
#include "broadcast/StreamKinds.h"

namespace si {

void DecodePat(const unsigned char* data, int length, ScanRowWriter* window) {
    SectionReader section = WithoutCrc(data, length);
    section.Seek(3);
    const uint16_t transport_stream_id = section.U16();
    // ISO/IEC 13818-1 2.4.4.3: four-byte program entries follow the header;
    // program_number 0 carries the network PID and is handed over too.
    section.Seek(header::kLongForm);
    while (!section.AtEnd()) {
        const uint16_t program_number = section.U16();
        const uint16_t pid = section.Pid();
        if (section.Error()) break;
        if (window != nullptr) window->AddPatEntry(transport_stream_id, program_number, pid);
    }
}

void DecodeCat(const unsigned char* data, int length) {
    // Nothing of the conditional access table is used; the walk only keeps its
    // descriptors honest.
    SectionReader section = WithoutCrc(data, length);
    if (!section.Seek(header::kLongForm)) return;
    WalkDescriptors(section.Sub(section.Remaining()), [](uint8_t, SectionReader&) {});
}

void DecodePmt(const unsigned char* data, int length, ScanRowWriter* window) {
    SectionReader section = WithoutCrc(data, length);
    section.Seek(3);
    const uint16_t program_number = section.U16();
    section.Seek(header::kLongForm);
    const uint16_t pcr_pid = section.Pid();
    const uint16_t program_info_length = section.Length12();
    // Program-level descriptors (a stream identifier among them included) say
    // nothing about single streams.
    section.Skip(program_info_length);
    if (section.Error()) return;

    while (!section.AtEnd()) {
        const uint8_t stream_type = section.U8();
        const uint16_t elementary_pid = section.Pid();
        const uint16_t es_info_length = section.Length12();
        SectionReader descriptors = section.Sub(es_info_length);
        // A stream cut short by the end of the section is dropped.
        if (section.Error()) break;

        // ISO/IEC 13818-1 2.6.1 / EN 300 468 6.2.39: stream_identifier_descriptor.
        // The tag belongs to this stream alone; of several identifiers the last counts.
        uint8_t component_tag = 0;
        uint8_t audio_descriptor = 0;
        StreamDescriptors said;
        WalkDescriptors(descriptors, [&](uint8_t tag, SectionReader& body) {
            switch (tag) {
            case descriptor::kStreamIdentifier: {
                const uint8_t value = body.U8();
                if (!body.Error()) component_tag = value;
                break;
            }
            case descriptor::kAc3:
            case descriptor::kEnhancedAc3:
            case descriptor::kDts:
            case descriptor::kAac:
                said.audio = true;
                audio_descriptor = tag;
                break;
            // ISO/IEC 13818-1 2.6.8 and SMPTE 302M: linear PCM in private data,
            // registered as "BSSD" (Linux's vidtv driver sends its radio so).
            case descriptor::kRegistration: {
                const uint32_t format_identifier = uint32_t{body.U16()} << 16 | body.U16();
                if (!body.Error() && format_identifier == descriptor::kSmpte302mFormat) said.audio = true;
                break;
            }
            case descriptor::kTeletext: said.teletext = true; break;
            case descriptor::kSubtitling: said.subtitling = true; break;
            default: break;
            }
        });
        if (window == nullptr) continue;
        window->AddPmtStream(program_number, pcr_pid, elementary_pid, stream_type, component_tag,
                             KindOfStream(stream_type, said));
        if (stream_type == kPesPrivateData && audio_descriptor != 0)
            window->SetPmtStreamAudioDescriptor(program_number, elementary_pid, audio_descriptor);
    }
}

void DecodeRst(const unsigned char*, int) {
    // The running status of events is not followed.
}

}  // namespace si
