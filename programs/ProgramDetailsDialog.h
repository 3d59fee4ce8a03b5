#pragma once

#include <cstdint>
#include <string>

#include "card/DBDVBX32.h"
#include "framework/Dialog.h"

// Every field of one program record in its own edit or check box (template
// 103). Works on the caller's record only: OK writes the dialog's values into
// it, Cancel leaves it as it was.
class ProgramDetailsDialog : public fw::Dialog {
public:
    // One value per control. The 16-bit and 8-bit fields are held wide; the
    // check boxes hold 1 (checked) or 0.
    struct Values {
        std::string name;
        uint32_t frequency = 0;
        uint32_t standard = 0;
        uint32_t extraInfo = 0;
        uint32_t progId = 0;
        uint32_t tsId = 0;
        uint32_t nwId = 0;
        uint32_t serviceId = 0;
        uint32_t modulation = 0;
        uint32_t fec = 0;
        uint32_t symbolRate = 0;
        uint32_t progType = 0;
        uint32_t videoPid = 0;
        uint32_t audioPid = 0;
        uint32_t pmtPid = 0;
        uint32_t txtPid = 0;
        uint32_t subtitlePid = 0;
        uint32_t dataPid = 0;
        uint32_t ipFilter = 0;
        uint32_t reserved1 = 0;
        uint32_t reserved2 = 0;
        uint32_t tone22kHz = 0;
        uint32_t vertical = 0;
        bool operator==(const Values&) const = default;
    };

    // `loadOnOpen`: show the record's values (Edit) or start from zeros and an
    // empty name (Add).
    ProgramDetailsDialog(fw::Host& host, TunProgDataTag& record, bool loadOnOpen);

    bool OnInitDialog() override;
    // Validates every control; a bad number is shown once, its control takes
    // the focus and the dialog stays open.
    void OnOK() override;
    void OnCommand(int id) override;
    // Every control back to what it showed when the dialog opened.
    void OnReset();

    Values m_Values;
    // The record's index, carried through and shown nowhere; -1 for a new program.
    int32_t m_ProgramIndex = -1;
    bool m_LoadOnOpen = false;

private:
    void ShowValues(const Values& values);
    // Reads every control; on the first bad one reports it, focuses it and
    // returns false with `values` unusable.
    bool ReadValues(Values* values);

    TunProgDataTag& m_Record;
    Values m_OpenValues;
};
