#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/DateTime.h"
#include "framework/ObjectMap.h"
#include "si/EitSectionTracker.h"

class ScanRowWriter;

// The table decoders. The dispatcher calls each with one whole section (table
// id first, CRC last) and its byte count; they never read past `length`,
// whatever the length fields inside say. Decoders that find rows hand them to
// `window`, and only when it is not null.
namespace si {

// What the EIT decoder needs from the application when an event loop's
// lengths do not add up: the "EPG-Error" switch (read at that moment only)
// and a way to show a message box.
struct EitDiagnostics {
    std::function<int()> debugSetting;
    std::function<void(const std::string&)> showMessage;
};

void DecodePat(const unsigned char* data, int length, ScanRowWriter* window);
void DecodeCat(const unsigned char* data, int length);
void DecodePmt(const unsigned char* data, int length, ScanRowWriter* window);
void DecodeRst(const unsigned char* data, int length);

void DecodeNit(const unsigned char* data, int length, ScanRowWriter* window);
// Names the network of any sound NIT section, actual or other, to `window`
// (SeeNetwork), whichever network's NIT was asked for.
void NoteNetwork(const unsigned char* data, int length, ScanRowWriter* window);
void DecodeSdt(const unsigned char* data, int length, ScanRowWriter* window);
void DecodeBat(const unsigned char* data, int length);

// Tracks the section in `eventStore` (which owns EitSectionTracker objects);
// returns 1 when every tracked sub-table is complete, else 0.
int DecodeEit(const unsigned char* data, int length, fw::StringToObjectMap& eventStore,
              const EitDiagnostics& diagnostics);
// Deletes every tracker the store holds (null values are only removed) and
// empties it.
void ClearEventStore(fw::StringToObjectMap& eventStore);

// EN 300 468 Annex C: five bytes, a 16-bit Modified Julian Date and hour,
// minute and second as two BCD digits each. Sets `out` and returns 1; returns 0
// and leaves `out` alone for the undefined time (MJD 0xFFFF).
int MjdBcdToDateTime(const unsigned char* p, fw::DateTime* out);

// What the time tables carry. The decoders below keep none of it; the readers
// give it to whoever wants to look (tests, diagnostics).
struct LocalTimeOffset {
    std::string countryCode;  // three characters as broadcast
    int countryRegionId = 0;
    int polarity = 0;
    uint16_t localTimeOffset = 0;  // BCD hours and minutes, unconverted
    fw::DateTime timeOfChange;
    uint16_t nextTimeOffset = 0;  // BCD hours and minutes, unconverted
};
struct TimeOffsetTable {
    fw::DateTime utcTime;
    // The first entry of each local time offset descriptor, in section order.
    std::vector<LocalTimeOffset> offsets;
};
// False when the section is too short for its UTC_time.
bool ReadTdt(const unsigned char* data, int length, fw::DateTime* utcTime);
bool ReadTot(const unsigned char* data, int length, TimeOffsetTable* table);

void DecodeTdt(const unsigned char* data, int length);
void DecodeTot(const unsigned char* data, int length);

void DecodePrivate80(const unsigned char* data, int length);
void DecodePrivate82(const unsigned char* data, int length);
// Dumps the payload to a file named after header bytes 3 to 11 in
// `dumpDirectory` (which must end in a separator and is never created).
void DecodePrivate93(const unsigned char* data, int length, const std::string& dumpDirectory);
// The folder "DVB-Appl" in the user's documents folder, with a trailing '/'.
std::string DefaultDumpDirectory();

}  // namespace si
