#pragma once

#include <QObject>
#include <QFont>
#include <QIcon>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "framework/Clock.h"
#include "framework/Host.h"

class QDialog;
class QMenu;
class QSocketNotifier;
class QTimer;
class QWidget;

namespace fw {

class QtDialogWindow;

// The host for people: every dialog becomes a QDialog built from its template,
// timers and posted work run on Qt's event loop on the GUI thread. Needs a
// QApplication that outlives it.
class QtHost final : public QObject, public Host {
    Q_OBJECT
public:
    QtHost();
    ~QtHost() override;

    int RunModal(Dialog& dialog) override;
    void EndModal(Dialog& dialog, int result) override;
    void ShowMessage(Dialog* owner, const std::string& text) override;
    Answer Ask(Dialog* owner, const std::string& text, QuestionButtons buttons) override;
    int PopupMenu(Dialog& owner, const std::vector<MenuItem>& items) override;
    std::optional<std::string> AskText(Dialog& owner, const std::string& title, const std::string& label,
                                       const std::string& initial) override;
    std::optional<FileChoice> ChooseFile(Dialog& owner, FileChooserKind kind, const std::string& title,
                                         const std::vector<std::string>& filters, int filter,
                                         const std::string& start) override;
    bool StartTimer(Dialog& dialog, unsigned id, unsigned periodMs) override;
    bool StopTimer(Dialog& dialog, unsigned id) override;
    TaskId Post(std::function<void()> task, int64_t delayMs = 0) override;
    void Cancel(TaskId id) override;
    TaskId Watch(int fd, std::function<void()> ready) override;
    void Unwatch(TaskId id) override;
    // Threads, unless told to run blocking calls in place (to compare a
    // window that waits on a driver with one that does not).
    std::unique_ptr<Worker> MakeWorker() override;
    void SetWorkInPlace(bool inPlace) { m_WorkInPlace = inPlace; }
    Dialog* ActiveModal() const override;
    const Clock& GetClock() const override { return m_Clock; }
    int VerticalScrollBarWidth() const override;
    Size DialogBaseUnits(const DialogTemplate& dialogTemplate) const override;
    FrameMetrics Frame(const DialogTemplate& dialogTemplate) const override;
    int MenuBarHeight() const override;
    int StatusBarHeight() const override;
    // A menu's entries as actions; each chosen one runs its command.
    static void FillMenu(QMenu& menu, Dialog& dialog, const std::vector<MenuItem>& items);
    Rect DefaultWindowRect(Size windowSize) const override;
    std::vector<Rect> ScreenAreas() const override;

    // The font a dialog's controls are drawn with; its metrics make the
    // dialog units.
    QFont DialogFont(const DialogTemplate& dialogTemplate) const;
    // The registered icon with that resource id (a null icon for an id no
    // registered icon has).
    QIcon Icon(int iconId) const;

    // The live window of a dialog, and the widget of one of its controls;
    // null when the dialog has no window. For tests and screenshots.
    QDialog* WindowOf(const Dialog& dialog) const;
    QWidget* ControlWidget(const Dialog& dialog, int controlId) const;

    // Every message shown so far, in order.
    const std::vector<std::string>& Messages() const { return m_Messages; }
    // With a handler set, messages go to it instead of a message box (tests).
    void SetMessageHandler(std::function<void(const std::string&)> handler) { m_MessageHandler = std::move(handler); }
    // With a handler set, questions go to it instead of a question box (tests).
    void SetQuestionHandler(std::function<Answer(const std::string&, QuestionButtons)> handler) {
        m_QuestionHandler = std::move(handler);
    }
    // Posted tasks that have not run yet.
    size_t PendingTasks() const;

    // Called by a dialog window once its real frame is known; true when that
    // changed what Frame() answers.
    bool NoteFrame(const DialogTemplate& dialogTemplate, const FrameMetrics& frame);
    // Whether a frame other than none was seen or probed for windows of that kind.
    bool FrameKnown(const DialogTemplate& dialogTemplate) const;

private:
    struct Task {
        QTimer* timer = nullptr;
        std::function<void()> run;
    };
    QtDialogWindow* DialogWindow(const Dialog& dialog) const;
    void ProbeFrame(const DialogTemplate& dialogTemplate);
    void Arm(TaskId id, std::function<void()> task, int64_t delayMs);
    void RunTask(TaskId id);
    void DropTask(TaskId id);

    SystemClock m_Clock;
    std::vector<QtDialogWindow*> m_Windows;  // innermost modal last
    std::map<std::pair<Dialog*, unsigned>, QTimer*> m_Timers;
    std::map<TaskId, QSocketNotifier*> m_Watches;
    mutable std::mutex m_TaskMutex;
    std::map<TaskId, Task> m_Tasks;
    std::set<TaskId> m_InFlight;        // posted from another thread, not armed yet
    std::set<TaskId> m_CancelledEarly;  // cancelled before they were armed
    std::atomic<TaskId> m_NextTask{0};
    bool m_WorkInPlace = false;
    std::optional<FrameMetrics> m_Frames[2];  // fixed and resizable frames, once seen
    std::vector<std::string> m_Messages;
    std::function<void(const std::string&)> m_MessageHandler;
    std::function<Answer(const std::string&, QuestionButtons)> m_QuestionHandler;
};

}  // namespace fw
