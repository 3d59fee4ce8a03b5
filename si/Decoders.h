#pragma once

#include <functional>
#include <string>

#include "framework/ObjectMap.h"

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
void DecodeSdt(const unsigned char* data, int length, ScanRowWriter* window);
void DecodeBat(const unsigned char* data, int length);

// Tracks the section in `eventStore` (which owns EitSectionTracker objects);
// returns 1 when every tracked sub-table is complete, else 0.
int DecodeEit(const unsigned char* data, int length, fw::StringToObjectMap& eventStore,
              const EitDiagnostics& diagnostics);

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
