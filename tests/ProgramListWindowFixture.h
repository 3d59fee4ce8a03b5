// The program list window on the headless host, opened by the test and
// closed with it, and the small lists its tests start from.
#pragma once

#include <memory>
#include <vector>

#include "card/DBDVBX32.h"
#include "programs/ProgramListDialog.h"
#include "tests/ProgramTestSupport.h"

namespace programtest {

class ProgramListWindow : public programtest::ProgramFixture {
public:
    ProgramListDialog& OpenWindow() {
        m_Window = std::make_unique<ProgramListDialog>(host);
        host.Open(*m_Window);
        return *m_Window;
    }
    void TearDown() override {
        if (m_Window) host.Close(*m_Window);
        m_Window.reset();
        ProgramFixture::TearDown();
    }

    static std::vector<TunProgDataTag> Five() {
        return {Program(1, "Eins"), Program(2, "Zwei"), Program(3, "Drei"), Program(4, "Vier"), Program(5, "Fünf")};
    }

    static int Selected(ProgramListDialog& w) { return w.ProgramList().GetNextItem(-1, fw::kItemSelected); }
    static int Focused(ProgramListDialog& w) { return w.ProgramList().GetNextItem(-1, fw::kItemFocused); }

private:
    std::unique_ptr<ProgramListDialog> m_Window;
};

}  // namespace programtest
