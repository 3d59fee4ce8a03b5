// A section filter of the stand-in card with a socket open on it, for tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "card/TTCommDVB.h"
#include "framework/Clock.h"
#include "framework/headless/HeadlessHost.h"

namespace cardtest {

// Remembers each section it is handed and when it came.
class Listener : public CDVBWinSock {
public:
    Listener(fw::HeadlessHost& host, uint16_t pid, uint8_t value, uint8_t mask) : m_Host(host) {
        EXPECT_EQ(m_Filter.SetBitFilter(pid, &value, &mask, 1, 0), CCommonDVB::DVB_ERR_NONE);
        int error = 0;
        EXPECT_EQ(SOpen(m_Filter.GetFilterHandle(), &error), 1);
    }
    ~Listener() override {
        m_Filter.ShutDownFilter();
        SClose();
    }
    void OnDataReceived(unsigned char* data, int length) override {
        sections.emplace_back(data, data + length);
        times.push_back(m_Host.GetClock().NowMs());
    }
    std::vector<std::vector<uint8_t>> sections;
    std::vector<int64_t> times;

private:
    fw::HeadlessHost& m_Host;
    CPIDFilter m_Filter;
};

inline void Tune(unsigned long kHz) {
    CFrontend frontend;
    frontend.SetFrequency(kHz, 1);
}

}  // namespace cardtest
