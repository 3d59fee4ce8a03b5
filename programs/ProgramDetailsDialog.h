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

    // What the controls hold: every number within its field's width, the
    // check boxes' fields 1 (checked) or 0.
    TunProgDataTag m_Values;
    // The operator's channel number, kept beside the record ("LCN:", empty
    // for none): the caller sets it before the dialog runs and reads it after OK.
    uint32_t m_ChannelNumber = 0;
    // The record's index, carried through and shown nowhere; -1 for a new program.
    int32_t m_ProgramIndex = -1;
    bool m_LoadOnOpen = false;

private:
    void ShowValues(const TunProgDataTag& values, uint32_t channelNumber);
    // Reads every control; on the first bad one reports it, focuses it and
    // returns false with `values` unusable.
    bool ReadValues(TunProgDataTag* values, uint32_t* channelNumber);
    bool Refuse(int editId, uint32_t max, const std::string& text);
    // The field's name as its label shows it, for a refusal.
    std::string LabelOf(int editId);

    TunProgDataTag& m_Record;
    TunProgDataTag m_OpenValues;
    uint32_t m_OpenChannelNumber = 0;
};
