#pragma once

#include <optional>
#include <string>

#include "acquisition/DvbDataSocket.h"
#include "framework/ObjectMap.h"

class ScanRowWriter;

// The socket level that understands what arrives: every section goes through
// the dispatcher to the decoder of its table id. Decoded rows go to the
// attached scan window, and only while one is attached; the EIT decoder keeps
// its progress in the event store.
class EpgDvbSocket : public DvbDataSocket {
public:
    explicit EpgDvbSocket(fw::Dialog& owner);
    ~EpgDvbSocket() override;

    // Attaches the scan window, or detaches it when given null.
    void SetResultWindow(ScanRowWriter* window) { m_ResultWindow = window; }
    ScanRowWriter* ResultWindow() const { return m_ResultWindow; }

    // Deletes every object the store holds, then empties it.
    void ClearEventStore();
    fw::StringToObjectMap& EventStore() { return m_EventStore; }

    // Where the private table 0x93 is dumped; until set, the default folder.
    void SetDumpDirectory(std::string directory) { m_DumpDirectory = std::move(directory); }
    std::string DumpDirectory() const;

    void OnDataReceived(unsigned char* data, int length) override;

    // Routes one whole section (table id first, CRC last) by its table id.
    // Returns the EIT decoder's result for EIT sections, 0 for everything
    // else, including sections dropped for a bad CRC.
    int Dispatch(const unsigned char* data, int length);
    // 1 if the CRC-32/MPEG-2 over all `length` bytes (the CRC included) is
    // correct, else 0.
    static int CheckCrc32(const unsigned char* data, int length);

    // The decoders the dispatcher routes to; each hands the section on to its
    // table decoder with this socket's window, store or dump folder.
    virtual void DecodePat(const unsigned char* data, int length);
    virtual void DecodeCat(const unsigned char* data, int length);
    virtual void DecodePmt(const unsigned char* data, int length);
    virtual void DecodeRst(const unsigned char* data, int length);
    virtual void DecodeNit(const unsigned char* data, int length);
    virtual void DecodeSdt(const unsigned char* data, int length);
    virtual void DecodeBat(const unsigned char* data, int length);
    virtual int DecodeEit(const unsigned char* data, int length);
    virtual void DecodeTdt(const unsigned char* data, int length);
    virtual void DecodeTot(const unsigned char* data, int length);
    virtual void DecodePrivate80(const unsigned char* data, int length);
    virtual void DecodePrivate82(const unsigned char* data, int length);
    virtual void DecodePrivate93(const unsigned char* data, int length);

protected:
    ScanRowWriter* m_ResultWindow = nullptr;
    fw::StringToObjectMap m_EventStore{10};
    std::optional<std::string> m_DumpDirectory;
};
