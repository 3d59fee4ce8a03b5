#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Files.h"
#include "framework/Geometry.h"
#include "framework/Menu.h"

namespace fw {

class Clock;
class Dialog;
class Profile;
class Worker;
struct DialogTemplate;
struct IconImage;
struct Resources;

using TaskId = uint64_t;

// Pixels between a window's outer rectangle and its client area.
struct FrameMetrics {
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum class FileChooserKind { Open, Save };

// The buttons of a question box, and the one the user pressed.
enum class QuestionButtons { YesNo, SaveDiscardCancel };
enum class Answer { Yes, No, Save, Discard, Cancel };

// What the user picked in a file chooser: the path, and the index of the
// filter that was chosen when the chooser closed.
struct FileChoice {
    std::string path;
    int filter = 0;
};

// The event loop and everything a toolkit provides: windows for dialogs,
// message boxes, timers, deferred work on the GUI thread, the clock and the
// metrics that turn dialog units into pixels. Implemented by the headless
// host (tests, virtual clock) and the Qt host (people).
class Host {
public:
    virtual ~Host() = default;

    // Builds the dialog's window, calls OnInitDialog, runs a modal loop until
    // EndDialog, then calls DestroyWindow and returns the result.
    virtual int RunModal(Dialog& dialog) = 0;
    // Called by Dialog::EndDialog: the modal loop of that dialog ends.
    virtual void EndModal(Dialog& dialog, int result) = 0;
    // A message box with an OK button; returns when the user has answered.
    virtual void ShowMessage(Dialog* owner, const std::string& text) = 0;
    // A question box; returns the button the user pressed. Closing the box
    // answers No (Yes/No) or Cancel (Save/Discard/Cancel).
    virtual Answer Ask(Dialog* owner, const std::string& text, QuestionButtons buttons) = 0;
    // A context menu of `owner` where the user asked for it.
    // Items are as in a menu bar; the answer is the chosen item's command, or
    // 0 when the menu was dismissed.
    virtual int PopupMenu(Dialog& owner, const std::vector<MenuItem>& items) = 0;
    // A small input box: a line of text, `initial` to start with. Nothing
    // when the user cancelled.
    virtual std::optional<std::string> AskText(Dialog& owner, const std::string& title, const std::string& label,
                                               const std::string& initial) = 0;
    // The standard file chooser. Each filter reads "Description (*.ext ...)";
    // `filter` is the one chosen at first. It opens at `start`: a folder, or
    // a folder and the name to suggest; a relative `start` (a name alone, or
    // empty) is taken in the user's home folder. Nothing when the user cancelled.
    virtual std::optional<FileChoice> ChooseFile(Dialog& owner, FileChooserKind kind, const std::string& title,
                                                 const std::vector<std::string>& filters, int filter,
                                                 const std::string& start) = 0;

    // A window timer: Dialog::OnTimer(id) every periodMs until stopped.
    virtual bool StartTimer(Dialog& dialog, unsigned id, unsigned periodMs) = 0;
    virtual bool StopTimer(Dialog& dialog, unsigned id) = 0;

    // Runs `task` later on the GUI thread, not before `delayMs` have passed.
    // This is how socket notifications and the card library's timing arrive.
    // On a host whose workers have threads, any thread may post.
    virtual TaskId Post(std::function<void()> task, int64_t delayMs = 0) = 0;
    virtual void Cancel(TaskId id) = 0;
    // Somewhere to run calls that may block (a driver that holds its calls
    // while it tunes), so the GUI thread never waits on them. The headless
    // host runs them in place; the Qt host on a thread of the worker's own.
    virtual std::unique_ptr<Worker> MakeWorker();

    // Calls `ready` on the GUI thread whenever the file descriptor `fd` can
    // be read without blocking, or reports an error or hang-up, until
    // Unwatch. This is how a device's data and errors reach the program.
    virtual TaskId Watch(int fd, std::function<void()> ready) = 0;
    virtual void Unwatch(TaskId id) = 0;
    // The innermost dialog running modally, or null.
    virtual Dialog* ActiveModal() const = 0;

    virtual const Clock& GetClock() const = 0;

    // System metrics.
    virtual int VerticalScrollBarWidth() const = 0;
    // Average character width and height of the dialog's font in pixels; a
    // dialog unit is a quarter of the first and an eighth of the second.
    virtual Size DialogBaseUnits(const DialogTemplate& dialogTemplate) const = 0;
    virtual FrameMetrics Frame(const DialogTemplate& dialogTemplate) const = 0;
    // Heights of a window's menu bar and status line.
    virtual int MenuBarHeight() const { return 0; }
    virtual int StatusBarHeight() const { return 0; }
    // Where a new window of that outer size goes when nothing else says.
    virtual Rect DefaultWindowRect(Size windowSize) const = 0;
    // The part of each screen that windows may take (less panels and docks),
    // in screen coordinates; empty where the host cannot say.
    virtual std::vector<Rect> ScreenAreas() const { return {}; }

    // The application's settings file and name (message box caption).
    Profile& GetProfile() const { return *m_Profile; }
    void SetProfile(Profile* profile) { m_Profile = profile; }
    const std::string& AppName() const { return m_AppName; }
    void SetAppName(std::string name) { m_AppName = std::move(name); }
    // The application's dialog templates and icons; it registers them before
    // it makes its first dialog, and they outlive the host.
    void SetResources(const Resources* resources) { m_Resources = resources; }
    // The template with that id; aborts when none was registered (a build
    // error: a dialog class names a template the application lacks).
    const DialogTemplate& GetDialogTemplate(int id) const;
    // The icon with that id, or null.
    const IconImage* FindIcon(int id) const;
    // Where the program reads and writes the files the user names.
    Files& GetFiles() const { return m_Files ? *m_Files : Files::System(); }
    void SetFiles(Files* files) { m_Files = files; }

private:
    Profile* m_Profile = nullptr;
    const Resources* m_Resources = nullptr;
    Files* m_Files = nullptr;
    std::string m_AppName = "Kelvane";
};

}  // namespace fw
