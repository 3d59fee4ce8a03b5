#include "acquisition/EpgDvbSocket.h"

#include <array>

#include "framework/Dialog.h"
#include "framework/Host.h"
#include "framework/Profile.h"
#include "broadcast/Crc32.h"
#include "si/Decoders.h"
#include "broadcast/SiTags.h"

namespace {

using Decoder = int (*)(EpgDvbSocket& socket, const unsigned char* data, int length);

struct Route {
    bool checkCrc = true;
    Decoder decoder = nullptr;
};

template <void (EpgDvbSocket::*Decode)(const unsigned char*, int)>
int Call(EpgDvbSocket& socket, const unsigned char* data, int length) {
    (socket.*Decode)(data, length);
    return 0;
}

int CallEit(EpgDvbSocket& socket, const unsigned char* data, int length) { return socket.DecodeEit(data, length); }

// One entry per table id. Every table id not named here still has its CRC
// checked and is then ignored.
constexpr std::array<Route, 256> MakeRoutes() {
    std::array<Route, 256> routes{};
    // TDT and RST carry no CRC_32 (EN 300 468 5.2.5, 5.2.7); the two private
    // tables are taken as they come.
    namespace table = si::table;
    routes[table::kTdt] = {false, &Call<&EpgDvbSocket::DecodeTdt>};
    routes[table::kRst] = {false, &Call<&EpgDvbSocket::DecodeRst>};
    routes[0x80] = {false, &Call<&EpgDvbSocket::DecodePrivate80>};
    routes[0x82] = {false, &Call<&EpgDvbSocket::DecodePrivate82>};

    routes[table::kPat] = {true, &Call<&EpgDvbSocket::DecodePat>};
    routes[table::kCat] = {true, &Call<&EpgDvbSocket::DecodeCat>};
    routes[table::kPmt] = {true, &Call<&EpgDvbSocket::DecodePmt>};
    routes[table::kNitActual] = {true, &Call<&EpgDvbSocket::DecodeNit>};
    routes[table::kNitOther] = {true, &Call<&EpgDvbSocket::DecodeNit>};
    routes[table::kSdtActual] = {true, &Call<&EpgDvbSocket::DecodeSdt>};
    routes[table::kSdtOther] = {true, &Call<&EpgDvbSocket::DecodeSdt>};
    routes[table::kBat] = {true, &Call<&EpgDvbSocket::DecodeBat>};
    // EN 300 468 5.1.3: 0x4E to 0x6F are the event information tables.
    for (int tableId = table::kEitPresentFollowingActual; tableId <= 0x6F; ++tableId) routes[tableId] = {true, &CallEit};
    routes[table::kTot] = {true, &Call<&EpgDvbSocket::DecodeTot>};
    routes[0x93] = {true, &Call<&EpgDvbSocket::DecodePrivate93>};
    return routes;
}

constexpr std::array<Route, 256> kRoutes = MakeRoutes();

}  // namespace

EpgDvbSocket::EpgDvbSocket(fw::Dialog& owner) : DvbDataSocket(owner) {}

EpgDvbSocket::~EpgDvbSocket() { ClearEventStore(); }

void EpgDvbSocket::ClearEventStore() { si::ClearEventStore(m_EventStore); }

std::string EpgDvbSocket::DumpDirectory() const {
    return m_DumpDirectory ? *m_DumpDirectory : si::DefaultDumpDirectory();
}

void EpgDvbSocket::OnDataReceived(unsigned char* data, int length) { Dispatch(data, length); }

int EpgDvbSocket::Dispatch(const unsigned char* data, int length) {
    if (data == nullptr || length < 1) return 0;
    const Route& route = kRoutes[data[0]];
    if (route.checkCrc && !CheckCrc32(data, length)) return 0;
    if (route.decoder == nullptr) return 0;
    return route.decoder(*this, data, length);
}

int EpgDvbSocket::CheckCrc32(const unsigned char* data, int length) {
    if (data == nullptr || length < 0) return 0;
    return si::Crc32Mpeg2(data, static_cast<size_t>(length)) == 0 ? 1 : 0;
}

void EpgDvbSocket::DecodePat(const unsigned char* data, int length) { si::DecodePat(data, length, m_ResultWindow); }
void EpgDvbSocket::DecodeCat(const unsigned char* data, int length) { si::DecodeCat(data, length); }
void EpgDvbSocket::DecodePmt(const unsigned char* data, int length) { si::DecodePmt(data, length, m_ResultWindow); }
void EpgDvbSocket::DecodeRst(const unsigned char* data, int length) { si::DecodeRst(data, length); }
void EpgDvbSocket::DecodeNit(const unsigned char* data, int length) { si::DecodeNit(data, length, m_ResultWindow); }
void EpgDvbSocket::DecodeSdt(const unsigned char* data, int length) { si::DecodeSdt(data, length, m_ResultWindow); }
void EpgDvbSocket::DecodeBat(const unsigned char* data, int length) { si::DecodeBat(data, length); }

int EpgDvbSocket::DecodeEit(const unsigned char* data, int length) {
    // The debug switch is read when a mismatch happens, so changing the
    // settings file takes effect without a restart.
    si::EitDiagnostics diagnostics{
        [this] { return GetHost().GetProfile().GetInt("Debug", "EPG-Error", 0); },
        [this](const std::string& text) { ShowMessage(text); },
    };
    return si::DecodeEit(data, length, m_EventStore, diagnostics);
}

void EpgDvbSocket::DecodeTdt(const unsigned char* data, int length) { si::DecodeTdt(data, length); }
void EpgDvbSocket::DecodeTot(const unsigned char* data, int length) { si::DecodeTot(data, length); }
void EpgDvbSocket::DecodePrivate80(const unsigned char* data, int length) { si::DecodePrivate80(data, length); }
void EpgDvbSocket::DecodePrivate82(const unsigned char* data, int length) { si::DecodePrivate82(data, length); }

void EpgDvbSocket::DecodePrivate93(const unsigned char* data, int length) {
    si::DecodePrivate93(data, length, DumpDirectory());
}
