#include "programs/ProgramListColumn.h"

#include <cstdlib>

namespace {

using fw::Align;

// The titles are the program list's own, spelling included.
constexpr ProgramListColumnInfo kColumns[kProgramListColumnCount] = {
    {"Nr", Align::Center, 0.04},         {"Programm", Align::Left, 0.2},      {"Frequenz", Align::Center, 0.1},
    {"Prog-ID", Align::Center, 0.07},    {"V-PID", Align::Center, 0.07},      {"A-PID", Align::Center, 0.07},
    {"PMT-PID", Align::Center, 0.07},    {"TXT-PID", Align::Center, 0.07},    {"Subtitle", Align::Center, 0.07},
    {"Data-PID", Align::Center, 0.07},   {"TS-ID", Align::Center, 0.07},      {"NW-ID", Align::Center, 0.07},
    {"Standard", Align::Center, 0.07},   {"Extra-Info", Align::Center, 0.07}, {"Servcie-ID", Align::Center, 0.07},
    {"Modulation", Align::Center, 0.07}, {"FEC", Align::Center, 0.07},        {"22 kHz", Align::Center, 0.07},
    {"Vertikal", Align::Center, 0.07},   {"Symbolrate", Align::Center, 0.07}, {"Prog-Type", Align::Center, 0.07},
    {"IP-Filter", Align::Center, 0.07},  {"Reserved 1", Align::Center, 0.07}, {"Reserved 2", Align::Center, 0.07},
    {"State", Align::Center, 0.07},
};

}  // namespace

const ProgramListColumnInfo& ProgramListColumnAt(int column) {
    // A column outside 0..24 is a programming error, not a user's.
    if (column < 0 || column >= kProgramListColumnCount) std::abort();
    return kColumns[column];
}
