#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/Clock.h"
#include "framework/Host.h"

namespace fw {

class VirtualClock final : public Clock {
public:
    explicit VirtualClock(int64_t startMs) : m_Ms(startMs) {}
    int64_t NowMs() const override { return m_Ms; }
    void Set(int64_t ms) { m_Ms = ms; }

private:
    int64_t m_Ms;
};

// A host without a screen: one queue of timed events on a virtual clock, so a
// whole scan with its 500 ms ticks and 15 s time-outs runs in milliseconds.
// Message boxes are recorded; modal dialogs run the script queued for their
// template, then the event loop until they end. A modal loop with nothing left
// to do ends as if the user closed the window (Cancel).
class HeadlessHost final : public Host {
public:
    // 2026-01-01 00:00:00 UTC
    static constexpr int64_t kDefaultStartMs = 1767225600000;

    explicit HeadlessHost(int64_t startMs = kDefaultStartMs);
    ~HeadlessHost() override;

    int RunModal(Dialog& dialog) override;
    void EndModal(Dialog& dialog, int result) override;
    void ShowMessage(Dialog* owner, const std::string& text) override;
    Answer Ask(Dialog* owner, const std::string& text, QuestionButtons buttons) override;
    int PopupMenu(Dialog& owner, const std::vector<MenuItem>& items) override;
    std::optional<FileChoice> ChooseFile(Dialog& owner, FileChooserKind kind, const std::string& title,
                                         const std::vector<std::string>& filters, int filter,
                                         const std::string& start) override;
    std::optional<std::string> AskText(Dialog& owner, const std::string& title, const std::string& label,
                                       const std::string& initial) override;
    bool StartTimer(Dialog& dialog, unsigned id, unsigned periodMs) override;
    bool StopTimer(Dialog& dialog, unsigned id) override;
    TaskId Post(std::function<void()> task, int64_t delayMs = 0) override;
    void Cancel(TaskId id) override;
    TaskId Watch(int fd, std::function<void()> ready) override;
    void Unwatch(TaskId id) override;
    Dialog* ActiveModal() const override { return m_Modal.empty() ? nullptr : m_Modal.back(); }
    const Clock& GetClock() const override { return m_Clock; }
    int VerticalScrollBarWidth() const override { return 17; }
    Size DialogBaseUnits(const DialogTemplate& dialogTemplate) const override;
    FrameMetrics Frame(const DialogTemplate& dialogTemplate) const override;
    Rect DefaultWindowRect(Size windowSize) const override;
    std::vector<Rect> ScreenAreas() const override { return m_Screens; }
    // The screens a test's user has; one of 1280 x 1024 unless set.
    void SetScreens(std::vector<Rect> screens) { m_Screens = std::move(screens); }

    // Builds and initialises a dialog without a modal loop (for tests that
    // drive the main window handler by handler); Close ends it.
    void Open(Dialog& dialog);
    void Close(Dialog& dialog);

    // Runs the script when the next dialog with this template runs modally,
    // after its OnInitDialog.
    void ScriptModal(int templateId, std::function<void(Dialog&)> script);
    // Messages shown so far, in order.
    const std::vector<std::string>& Messages() const { return m_Messages; }
    void ClearMessages() { m_Messages.clear(); }
    // Called for each message box, after it is recorded.
    void OnMessage(std::function<void(const std::string&)> handler) { m_OnMessage = std::move(handler); }

    // What the next question box answers. A question without a scripted
    // answer is closed as the user would close the box: No, or Cancel.
    void ScriptAnswer(Answer answer) { m_Answers.push_back(answer); }
    // The questions asked so far, in order.
    const std::vector<std::string>& Questions() const { return m_Questions; }
    size_t ScriptedAnswersLeft() const { return m_Answers.size(); }

    // What the next context menu answers: the index of the item the user
    // chooses among those that are no separator, -1 to dismiss it. A menu
    // without a scripted answer is dismissed, and so is a disabled choice.
    void ScriptMenu(int choice) { m_MenuAnswers.push_back(choice); }
    // The items of each context menu shown so far (MenuItemLabel).
    const std::vector<std::vector<std::string>>& Menus() const { return m_Menus; }
    // What the next file chooser answers; nothing means the user cancels, as
    // does a chooser without a scripted answer.
    void ScriptFileChoice(std::optional<FileChoice> choice) { m_FileAnswers.push_back(std::move(choice)); }
    // What the next input box answers; nothing means the user cancels, as
    // does a box without a scripted answer.
    void ScriptText(std::optional<std::string> answer) { m_TextAnswers.push_back(std::move(answer)); }
    // The labels of the input boxes shown so far.
    const std::vector<std::string>& TextPrompts() const { return m_TextPrompts; }
    // The text each of them started with.
    const std::vector<std::string>& TextInitials() const { return m_TextInitials; }
    struct FileChooserShown {
        FileChooserKind kind;
        std::string title;
        std::vector<std::string> filters;
        int filter;
        std::string start;
    };
    const std::vector<FileChooserShown>& FileChoosers() const { return m_FileChoosers; }

    // Event loop control.
    VirtualClock& Time() { return m_Clock; }
    // Runs the next event, moving the clock to its time; false when none.
    bool RunOne();
    // Runs every event due within `ms` from now and leaves the clock there.
    void Advance(int64_t ms);
    // Real time: RunOne waits, through `sleepMs`, until the next event is due
    // instead of jumping the clock to it (a command line's scan keeps the
    // network's pace). An empty function goes back to virtual time.
    void SetRealTime(std::function<void(int64_t ms)> sleepMs);
    // Real time that wakes on a watched descriptor as the Qt host does:
    // `wait` waits up to `ms` for one of `fds` to become readable and
    // returns the ms that passed. PollWait is the one over poll(2).
    using RealTimeWait = std::function<int64_t(const std::vector<int>& fds, int64_t ms)>;
    void SetRealTimeWait(RealTimeWait wait) { m_Wait = std::move(wait); }
    static int64_t PollWait(const std::vector<int>& fds, int64_t ms);
    // A modal loop gives up (Cancel) once the clock passes this many ms after
    // it began; 0 means never.
    void SetModalTimeLimit(int64_t ms) { m_ModalLimitMs = ms; }
    size_t PendingEvents() const { return m_Events.size(); }
    // When the next event is due, if any is queued.
    std::optional<int64_t> NextEventMs() const {
        if (m_Events.empty()) return std::nullopt;
        return m_Events.begin()->first.first;
    }

private:
    struct Event {
        std::function<void()> task;
    };
    struct TimerKey {
        Dialog* dialog;
        unsigned id;
        bool operator<(const TimerKey& o) const { return dialog != o.dialog ? dialog < o.dialog : id < o.id; }
    };
    void ArmTimer(Dialog* dialog, unsigned id, unsigned periodMs, uint64_t generation);
    // Descriptors are polled (without waiting) between events: one that is
    // ready gets its handler posted for now, once until that has run.
    struct WatchEntry {
        int fd = -1;
        std::function<void()> ready;
        bool posted = false;
        TaskId task = 0;
    };
    void PollWatches();
    bool Ready(int fd) const;

    VirtualClock m_Clock;
    // Ordered by (time, sequence): events at one time run in posting order.
    std::map<std::pair<int64_t, uint64_t>, Event> m_Events;
    std::map<TaskId, std::pair<int64_t, uint64_t>> m_EventIndex;
    uint64_t m_Sequence = 0;
    std::map<TimerKey, uint64_t> m_Timers;  // generation of the live timer
    uint64_t m_TimerGeneration = 0;
    std::map<int, std::deque<std::function<void(Dialog&)>>> m_Scripts;
    std::vector<std::string> m_Messages;
    std::function<void(const std::string&)> m_OnMessage;
    std::vector<Rect> m_Screens{Rect{0, 0, 1280, 1024}};
    std::deque<Answer> m_Answers;
    std::vector<std::string> m_Questions;
    std::vector<std::string> m_TextInitials;
    std::deque<int> m_MenuAnswers;
    std::vector<std::vector<std::string>> m_Menus;
    std::deque<std::optional<FileChoice>> m_FileAnswers;
    std::vector<FileChooserShown> m_FileChoosers;
    std::deque<std::optional<std::string>> m_TextAnswers;
    std::vector<std::string> m_TextPrompts;
    int64_t m_ModalLimitMs = 0;
    RealTimeWait m_Wait;
    std::vector<Dialog*> m_Modal;
    std::map<TaskId, WatchEntry> m_Watches;
};

}  // namespace fw
