#include "framework/headless/HeadlessHost.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "framework/Dialog.h"
#include "framework/DialogTemplate.h"

namespace fw {

HeadlessHost::HeadlessHost(int64_t startMs) : m_Clock(startMs) {}

HeadlessHost::~HeadlessHost() = default;

Size HeadlessHost::DialogBaseUnits(const DialogTemplate&) const {
    // "MS Sans Serif" 8 at 96 dpi.
    return Size{6, 13};
}

FrameMetrics HeadlessHost::Frame(const DialogTemplate& dialogTemplate) const {
    const int border = dialogTemplate.resizable ? 4 : 3;
    return FrameMetrics{border, border + 19, border, border};
}

Rect HeadlessHost::DefaultWindowRect(Size windowSize) const {
    // Centred on a 1280 x 1024 screen.
    const int left = (1280 - windowSize.cx) / 2;
    const int top = (1024 - windowSize.cy) / 2;
    return Rect{left, top, left + windowSize.cx, top + windowSize.cy};
}

void HeadlessHost::Open(Dialog& dialog) {
    dialog.Create(DefaultWindowRect(dialog.TemplateWindowSize()));
    dialog.OnInitDialog();
}

void HeadlessHost::Close(Dialog& dialog) {
    if (!dialog.IsDestroyed()) dialog.DestroyWindow();
}

int HeadlessHost::RunModal(Dialog& dialog) {
    m_Modal.push_back(&dialog);
    Open(dialog);
    const int templateId = dialog.Template().id;
    auto script = m_Scripts.find(templateId);
    if (!dialog.IsEnded() && script != m_Scripts.end() && !script->second.empty()) {
        auto run = std::move(script->second.front());
        script->second.pop_front();
        run(dialog);
    }
    const int64_t began = m_Clock.NowMs();
    while (!dialog.IsEnded()) {
        if (m_ModalLimitMs > 0 && m_Clock.NowMs() - began > m_ModalLimitMs) {
            dialog.OnCancel();
            break;
        }
        if (!RunOne()) {
            // Nothing left that could end it: the user closes the window.
            dialog.OnCancel();
            break;
        }
    }
    if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
    Close(dialog);
    m_Modal.erase(std::find(m_Modal.begin(), m_Modal.end(), &dialog));
    return dialog.Result();
}

void HeadlessHost::EndModal(Dialog&, int) {}

void HeadlessHost::ShowMessage(Dialog*, const std::string& text) {
    m_Messages.push_back(text);
    if (m_OnMessage) m_OnMessage(text);
}

Answer HeadlessHost::Ask(Dialog*, const std::string& text, QuestionButtons buttons) {
    m_Questions.push_back(text);
    if (m_Answers.empty()) return buttons == QuestionButtons::YesNo ? Answer::No : Answer::Cancel;
    const Answer answer = m_Answers.front();
    m_Answers.pop_front();
    return answer;
}

int HeadlessHost::PopupMenu(Dialog&, const std::vector<MenuItem>& items) {
    std::vector<std::string> labels;
    std::vector<const MenuItem*> choosable;
    for (const MenuItem& item : items) {
        labels.push_back(MenuItemLabel(item));
        if (item.command != 0) choosable.push_back(&item);
    }
    m_Menus.push_back(std::move(labels));
    if (m_MenuAnswers.empty()) return 0;
    const int choice = m_MenuAnswers.front();
    m_MenuAnswers.pop_front();
    if (choice < 0 || choice >= static_cast<int>(choosable.size())) return 0;
    const MenuItem& item = *choosable[static_cast<size_t>(choice)];
    return item.enabled ? item.command : 0;
}

std::optional<FileChoice> HeadlessHost::ChooseFile(Dialog&, FileChooserKind kind, const std::string& title,
                                                   const std::vector<std::string>& filters, int filter,
                                                   const std::string& start) {
    m_FileChoosers.push_back(FileChooserShown{kind, title, filters, filter, start});
    if (m_FileAnswers.empty()) return std::nullopt;
    std::optional<FileChoice> choice = std::move(m_FileAnswers.front());
    m_FileAnswers.pop_front();
    return choice;
}

std::optional<std::string> HeadlessHost::AskText(Dialog&, const std::string&, const std::string& label,
                                                 const std::string& initial) {
    m_TextPrompts.push_back(label);
    m_TextInitials.push_back(initial);
    if (m_TextAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(m_TextAnswers.front());
    m_TextAnswers.pop_front();
    return answer;
}

bool HeadlessHost::StartTimer(Dialog& dialog, unsigned id, unsigned periodMs) {
    const uint64_t generation = ++m_TimerGeneration;
    m_Timers[TimerKey{&dialog, id}] = generation;
    ArmTimer(&dialog, id, periodMs == 0 ? 1 : periodMs, generation);
    return true;
}

void HeadlessHost::ArmTimer(Dialog* dialog, unsigned id, unsigned periodMs, uint64_t generation) {
    Post(
        [this, dialog, id, periodMs, generation] {
            auto it = m_Timers.find(TimerKey{dialog, id});
            if (it == m_Timers.end() || it->second != generation) return;
            // Re-arm first: the handler may kill the timer.
            ArmTimer(dialog, id, periodMs, generation);
            dialog->OnTimer(id);
        },
        periodMs);
}

bool HeadlessHost::StopTimer(Dialog& dialog, unsigned id) { return m_Timers.erase(TimerKey{&dialog, id}) > 0; }

TaskId HeadlessHost::Post(std::function<void()> task, int64_t delayMs) {
    const auto key = std::make_pair(m_Clock.NowMs() + (delayMs < 0 ? 0 : delayMs), ++m_Sequence);
    m_Events.emplace(key, Event{std::move(task)});
    m_EventIndex.emplace(key.second, key);
    return key.second;
}

void HeadlessHost::Cancel(TaskId id) {
    auto it = m_EventIndex.find(id);
    if (it == m_EventIndex.end()) return;
    m_Events.erase(it->second);
    m_EventIndex.erase(it);
}

TaskId HeadlessHost::Watch(int fd, std::function<void()> ready) {
    const TaskId id = ++m_Sequence;
    m_Watches.emplace(id, WatchEntry{fd, std::move(ready), false, 0});
    return id;
}

void HeadlessHost::Unwatch(TaskId id) {
    auto it = m_Watches.find(id);
    if (it == m_Watches.end()) return;
    if (it->second.posted) Cancel(it->second.task);
    m_Watches.erase(it);
}

bool HeadlessHost::Ready(int fd) const {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void HeadlessHost::PollWatches() {
    for (auto& [id, watch] : m_Watches) {
        if (watch.posted || !Ready(watch.fd)) continue;
        watch.posted = true;
        const TaskId watchId = id;
        watch.task = Post([this, watchId] {
            auto it = m_Watches.find(watchId);
            if (it == m_Watches.end()) return;
            it->second.posted = false;
            // The handler may unwatch, which destroys the entry.
            auto ready = it->second.ready;
            ready();
        });
    }
}

void HeadlessHost::SetRealTime(std::function<void(int64_t ms)> sleepMs) {
    if (!sleepMs) return SetRealTimeWait(nullptr);
    SetRealTimeWait([sleepMs](const std::vector<int>&, int64_t ms) {
        sleepMs(ms);
        return ms;
    });
}

int64_t HeadlessHost::PollWait(const std::vector<int>& fds, int64_t ms) {
    std::vector<pollfd> p;
    for (int fd : fds) p.push_back({fd, POLLIN, 0});
    const auto began = std::chrono::steady_clock::now();
    const int ready = ::poll(p.data(), p.size(), static_cast<int>(std::min<int64_t>(ms, 1 << 30)));
    const int64_t passed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    // Without a ready descriptor the whole time has passed, whatever a
    // signal cut short.
    return ready > 0 ? std::min(passed, ms - 1) : ms;
}

bool HeadlessHost::RunOne() {
    PollWatches();
    if (m_Events.empty()) return false;
    auto it = m_Events.begin();
    const auto key = it->first;
    if (m_Wait && key.first > m_Clock.NowMs()) {
        // Wait for the event, or less where a descriptor becomes ready:
        // its handler is posted for then and runs first.
        std::vector<int> fds;
        for (const auto& [id, watch] : m_Watches)
            if (!watch.posted) fds.push_back(watch.fd);
        const int64_t delay = key.first - m_Clock.NowMs();
        const int64_t passed = std::max<int64_t>(0, m_Wait(fds, delay));
        if (passed < delay) {
            m_Clock.Set(m_Clock.NowMs() + passed);
            return true;
        }
    }
    Event event = std::move(it->second);
    m_Events.erase(it);
    m_EventIndex.erase(key.second);
    if (key.first > m_Clock.NowMs()) m_Clock.Set(key.first);
    event.task();
    return true;
}

void HeadlessHost::Advance(int64_t ms) {
    const int64_t until = m_Clock.NowMs() + ms;
    for (;;) {
        PollWatches();
        if (m_Events.empty() || m_Events.begin()->first.first > until) break;
        RunOne();
    }
    m_Clock.Set(until);
}

void HeadlessHost::ScriptModal(int templateId, std::function<void(Dialog&)> script) {
    m_Scripts[templateId].push_back(std::move(script));
}

}  // namespace fw
