// The program list window's part in what the card tells: status lines in
// the log of the scan it runs, problems in a message box.
#include <utility>

#include "framework/Host.h"
#include "programs/ProgramListDialog.h"
#include "scan/ScanChannelsDialog.h"

int ProgramListDialog::RunScan(ScanChannelsDialog& scan) {
    ScanChannelsDialog* outer = std::exchange(m_Scan, &scan);
    const int result = scan.DoModal();
    m_Scan = outer;
    return result;
}

void ProgramListDialog::CardStatusLine(const std::string& text) {
    if (m_Scan) m_Scan->AddStatusLine(text);
}

void ProgramListDialog::CardProblem(const std::string& text) { GetHost().ShowMessage(nullptr, text); }
