#pragma once

#include <QApplication>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "simnet/SimNetwork.h"
#include "framework/Dialog.h"
#include "framework/qt/QtHost.h"

namespace qttest {

// A plain dialog whose handlers a test fills in and whose calls it records.
class ScriptedDialog : public fw::Dialog {
public:
    using fw::Dialog::Dialog;

    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(ScriptedDialog&, unsigned)> onTimer;
    std::vector<std::string> calls;

    bool OnInitDialog() override {
        if (onInit) onInit(*this);
        return true;
    }
    void OnCancel() override {
        calls.push_back("cancel");
        fw::Dialog::OnCancel();
    }
    void OnOK() override {
        calls.push_back("ok");
        fw::Dialog::OnOK();
    }
    void OnCommand(int id) override { calls.push_back("command " + std::to_string(id)); }
    void OnSize(int cx, int cy) override { calls.push_back("size " + std::to_string(cx) + "x" + std::to_string(cy)); }
    void OnTimer(unsigned id) override {
        if (onTimer) onTimer(*this, id);
    }
    void OnListDoubleClick(int listId) override { calls.push_back("dblclk " + std::to_string(listId)); }
    void OnColumnClick(int listId, int column) override {
        calls.push_back("column " + std::to_string(listId) + " " + std::to_string(column));
    }
    void DestroyWindow() override {
        calls.push_back("destroy");
        fw::Dialog::DestroyWindow();
    }
};

// Runs the dialog modally and `script` inside its modal loop, once the window
// is up. A dialog the script leaves open is cancelled after `limitMs`, so a
// failing test cannot hang.
int RunModalWith(fw::QtHost& host, fw::Dialog& dialog, const std::function<void()>& script, int limitMs = 10000);

// Runs the event loop until `done` or `limitMs` passed; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int limitMs = 5000);

// A fresh folder of its own under the system's temporary folder, for a
// test's board database and settings file.
std::filesystem::path MakeTempDir();

// Where a test saves a picture of a window: a folder of the build tree. The
// `screenshots` target copies them into docs/screenshots/.
std::filesystem::path ScreenshotPath(const char* name);

// The built-in network cut down to its first transports and their first
// services, with its real timing, so a scan in real time ends within a test's
// patience. The scan's half-second ticks set the pace: a second a service,
// some seconds a transport.
cardlib::SimNetwork ShortNetwork(size_t transports = 2, size_t servicesPerTransport = 4);

}  // namespace qttest
