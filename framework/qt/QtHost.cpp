#include "framework/qt/QtHost.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QImage>
#include <QInputDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QThread>
#include <QWindow>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <memory>

#include "framework/Dialog.h"
#include "framework/DialogTemplate.h"
#include "framework/Resources.h"
#include "framework/Worker.h"
#include "framework/qt/QtDialogWindow.h"

namespace fw {

namespace {

bool SameFrame(const FrameMetrics& a, const FrameMetrics& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int ClampDelay(int64_t delayMs) { return static_cast<int>(std::clamp<int64_t>(delayMs, 0, INT_MAX)); }

}  // namespace

QtHost::QtHost() = default;

QtHost::~QtHost() {
    for (auto& [key, timer] : m_Timers) delete timer;
    m_Timers.clear();
    std::lock_guard lock(m_TaskMutex);
    for (auto& [id, task] : m_Tasks) delete task.timer;
    m_Tasks.clear();
}

QFont QtHost::DialogFont(const DialogTemplate& dialogTemplate) const {
    // The template names a font of another platform; its size is kept and the
    // desktop's own face is used, so texts look native and still fit, since
    // the dialog units are measured on this very font.
    QFont font = QApplication::font();
    font.setPointSize(dialogTemplate.fontPoints > 0 ? dialogTemplate.fontPoints : 8);
    return font;
}

Size QtHost::DialogBaseUnits(const DialogTemplate& dialogTemplate) const {
    const QFontMetrics metrics(DialogFont(dialogTemplate));
    // The average width of the 52 letters, rounded as the dialog manager
    // does, and the full line height.
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return Size{(letters / 26 + 1) / 2, metrics.height()};
}

FrameMetrics QtHost::Frame(const DialogTemplate& dialogTemplate) const {
    return m_Frames[dialogTemplate.resizable ? 1 : 0].value_or(FrameMetrics{});
}

bool QtHost::NoteFrame(const DialogTemplate& dialogTemplate, const FrameMetrics& frame) {
    auto& known = m_Frames[dialogTemplate.resizable ? 1 : 0];
    const FrameMetrics before = known.value_or(FrameMetrics{});
    known = frame;
    return !SameFrame(before, frame);
}

bool QtHost::FrameKnown(const DialogTemplate& dialogTemplate) const {
    const auto& known = m_Frames[dialogTemplate.resizable ? 1 : 0];
    return known && !SameFrame(*known, FrameMetrics{});
}

Rect QtHost::DefaultWindowRect(Size windowSize) const {
    QRect area(0, 0, 1280, 1024);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
    const int left = area.left() + (area.width() - windowSize.cx) / 2;
    const int top = area.top() + std::max(0, (area.height() - windowSize.cy) / 2);
    return Rect{left, top, left + windowSize.cx, top + windowSize.cy};
}

std::vector<Rect> QtHost::ScreenAreas() const {
    std::vector<Rect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        areas.push_back(Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    }
    return areas;
}

int QtHost::VerticalScrollBarWidth() const { return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent); }

QIcon QtHost::Icon(int iconId) const {
    const IconImage* image = FindIcon(iconId);
    // Pixels that do not fill the image make no icon.
    if (!image || image->width <= 0 || image->height <= 0 ||
        image->pixels.size() != static_cast<size_t>(image->width) * static_cast<size_t>(image->height)) {
        return {};
    }
    QImage pixels(image->width, image->height, QImage::Format_ARGB32);
    size_t next = 0;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) pixels.setPixel(x, y, image->pixels[next++]);
    }
    return QIcon(QPixmap::fromImage(pixels));
}

void QtHost::ProbeFrame(const DialogTemplate& dialogTemplate) {
    auto& known = m_Frames[dialogTemplate.resizable ? 1 : 0];
    if (known) return;
    // Some platforms know the frame of a window that was never shown; a
    // window manager tells it only once the window is mapped (see NoteFrame).
    QDialog probe;
    probe.setWindowFlags(QtDialogWindow::FlagsFor(dialogTemplate));
    probe.winId();
    if (const QWindow* window = probe.windowHandle()) {
        const QMargins margins = window->frameMargins();
        if (!margins.isNull()) known = FrameMetrics{margins.left(), margins.top(), margins.right(), margins.bottom()};
    }
}

int QtHost::RunModal(Dialog& dialog) {
    ProbeFrame(dialog.Template());
    // Centred by its client area, so a window opens in the same place
    // whether or not the window manager's frame is known yet.
    const FrameMetrics frame = Frame(dialog.Template());
    const Size outer = dialog.TemplateWindowSize();
    Rect placed = DefaultWindowRect(Size{outer.cx - frame.left - frame.right, outer.cy - frame.top - frame.bottom});
    placed = Rect{placed.left - frame.left, placed.top - frame.top, placed.right + frame.right, placed.bottom + frame.bottom};
    dialog.Create(placed);
    // A dialog without a parent belongs to the innermost modal window, so it
    // stays in front of it.
    QWidget* parent = m_Windows.empty() ? nullptr : m_Windows.back();
    auto window = std::make_unique<QtDialogWindow>(*this, dialog, parent);
    m_Windows.push_back(window.get());
    dialog.SetView(window.get());
    window->ApplyWindowRect();

    dialog.OnInitDialog();
    if (!dialog.IsEnded()) {
        window->ApplyFocus();
        window->exec();
    }
    if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
    // The window's end runs while its controls still hold what the user left.
    dialog.DestroyWindow();
    window->Detach();
    m_Windows.erase(std::find(m_Windows.begin(), m_Windows.end(), window.get()));
    window.reset();
    return dialog.Result();
}

void QtHost::EndModal(Dialog& dialog, int result) {
    if (QDialog* window = WindowOf(dialog)) window->done(result);
}

QtDialogWindow* QtHost::DialogWindow(const Dialog& dialog) const {
    for (QtDialogWindow* window : m_Windows) {
        if (&window->Owner() == &dialog) return window;
    }
    return nullptr;
}

QDialog* QtHost::WindowOf(const Dialog& dialog) const { return DialogWindow(dialog); }

QWidget* QtHost::ControlWidget(const Dialog& dialog, int controlId) const {
    for (QtDialogWindow* window : m_Windows) {
        if (&window->Owner() == &dialog) return window->Widget(controlId);
    }
    return nullptr;
}

void QtHost::ShowMessage(Dialog* owner, const std::string& text) {
    m_Messages.push_back(text);
    if (m_MessageHandler) {
        m_MessageHandler(text);
        return;
    }
    QWidget* parent = owner ? WindowOf(*owner) : nullptr;
    if (!parent && !m_Windows.empty()) parent = m_Windows.back();
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(AppName()));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

Answer QtHost::Ask(Dialog* owner, const std::string& text, QuestionButtons buttons) {
    if (m_QuestionHandler) return m_QuestionHandler(text, buttons);
    QWidget* parent = owner ? WindowOf(*owner) : nullptr;
    if (!parent && !m_Windows.empty()) parent = m_Windows.back();
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(QString::fromStdString(AppName()));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    const bool yesNo = buttons == QuestionButtons::YesNo;
    box.setStandardButtons(yesNo ? QMessageBox::Yes | QMessageBox::No
                                 : QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    // Closing the box is the answer that changes nothing.
    box.setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Cancel);
    box.setDefaultButton(yesNo ? QMessageBox::No : QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::Save: return Answer::Save;
        case QMessageBox::Discard: return Answer::Discard;
        default: return yesNo ? Answer::No : Answer::Cancel;
    }
}

void QtHost::FillMenu(QMenu& menu, Dialog& dialog, const std::vector<MenuItem>& items) {
    (void)dialog;
    for (const MenuItem& item : items) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        action->setData(item.command);
        action->setEnabled(item.enabled);
        QList<QKeySequence> keys;
        for (const std::string& shortcut : item.shortcuts) keys << QKeySequence::fromString(QString::fromStdString(shortcut));
        action->setShortcuts(keys);
    }
}

int QtHost::PopupMenu(Dialog& owner, const std::vector<MenuItem>& items) {
    QtDialogWindow* window = DialogWindow(owner);
    QMenu menu(window);
    FillMenu(menu, owner, items);
    // The keys are shown only; the window's menu bar takes them.
    for (QAction* action : menu.actions()) action->setShortcutContext(Qt::WidgetShortcut);
    const QPoint at = (window ? window->TakeMenuPosition() : std::nullopt).value_or(QCursor::pos());
    const QAction* chosen = menu.exec(at);
    return chosen ? chosen->data().toInt() : 0;
}

int QtHost::MenuBarHeight() const {
    QMenuBar bar;
    bar.addMenu(QStringLiteral("&File"));
    return bar.sizeHint().height();
}

int QtHost::StatusBarHeight() const {
    QStatusBar bar;
    bar.showMessage(QStringLiteral("Xy"));
    return std::max(bar.sizeHint().height(), QFontMetrics(QApplication::font()).height() + 6);
}

std::optional<std::string> QtHost::AskText(Dialog& owner, const std::string& title, const std::string& label,
                                           const std::string& initial) {
    QInputDialog box(WindowOf(owner));
    box.setWindowTitle(QString::fromStdString(title));
    box.setLabelText(QString::fromStdString(label));
    box.setTextValue(QString::fromStdString(initial));
    // Wide enough for its title beside the frame's buttons.
    box.setMinimumWidth(std::max(300, box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160));
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.textValue().toStdString();
}

std::optional<FileChoice> QtHost::ChooseFile(Dialog& owner, FileChooserKind kind, const std::string& title,
                                             const std::vector<std::string>& filters, int filter,
                                             const std::string& start) {
    // Qt opens a relative path in the working folder, which for a program
    // started from a menu is no place the user chose.
    QString where = QFile::decodeName(QByteArray::fromStdString(start));
    if (!where.startsWith('/')) where = QDir::home().filePath(where);
    QFileDialog chooser(WindowOf(owner), QString::fromStdString(title));
    const QFileInfo place(where);
    if (place.isDir()) {
        chooser.setDirectory(where);
    } else {
        chooser.setDirectory(place.absolutePath());
        chooser.selectFile(place.fileName());
    }
    const bool saving = kind == FileChooserKind::Save;
    chooser.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList names;
    for (const std::string& name : filters) names << QString::fromStdString(name);
    chooser.setNameFilters(names);
    if (filter >= 0 && filter < names.size()) chooser.selectNameFilter(names[filter]);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
    return FileChoice{QFile::encodeName(chooser.selectedFiles().front()).toStdString(),
                      static_cast<int>(names.indexOf(chooser.selectedNameFilter()))};
}

bool QtHost::StartTimer(Dialog& dialog, unsigned id, unsigned periodMs) {
    const auto key = std::make_pair(&dialog, id);
    QTimer*& timer = m_Timers[key];
    if (!timer) {
        timer = new QTimer(this);
        Dialog* target = &dialog;
        connect(timer, &QTimer::timeout, this, [target, id] { target->OnTimer(id); });
    }
    timer->start(static_cast<int>(std::min<unsigned>(std::max(periodMs, 1u), INT_MAX)));
    return true;
}

bool QtHost::StopTimer(Dialog& dialog, unsigned id) {
    auto it = m_Timers.find(std::make_pair(&dialog, id));
    if (it == m_Timers.end()) return false;
    // The handler of this very timer may be the caller.
    it->second->stop();
    it->second->deleteLater();
    m_Timers.erase(it);
    return true;
}

TaskId QtHost::Post(std::function<void()> task, int64_t delayMs) {
    const TaskId id = ++m_NextTask;
    if (QThread::currentThread() == thread()) {
        Arm(id, std::move(task), delayMs);
    } else {
        // Work handed over from another thread still runs on the GUI thread.
        {
            std::lock_guard lock(m_TaskMutex);
            m_InFlight.insert(id);
        }
        QMetaObject::invokeMethod(
            this, [this, id, task = std::move(task), delayMs]() mutable { Arm(id, std::move(task), delayMs); },
            Qt::QueuedConnection);
    }
    return id;
}

void QtHost::Arm(TaskId id, std::function<void()> task, int64_t delayMs) {
    {
        std::lock_guard lock(m_TaskMutex);
        m_InFlight.erase(id);
        if (m_CancelledEarly.erase(id) > 0) return;
    }
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    // Not before the delay: a coarse timer may fire a little early.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { RunTask(id); });
    {
        std::lock_guard lock(m_TaskMutex);
        m_Tasks[id] = Task{timer, std::move(task)};
    }
    timer->start(ClampDelay(delayMs));
}

void QtHost::RunTask(TaskId id) {
    std::function<void()> run;
    {
        std::lock_guard lock(m_TaskMutex);
        auto it = m_Tasks.find(id);
        if (it == m_Tasks.end()) return;
        run = std::move(it->second.run);
        it->second.timer->deleteLater();
        m_Tasks.erase(it);
    }
    if (run) run();
}

void QtHost::DropTask(TaskId id) {
    std::lock_guard lock(m_TaskMutex);
    auto it = m_Tasks.find(id);
    if (it == m_Tasks.end()) {
        // Posted from another thread and not armed yet.
        if (m_InFlight.count(id) > 0) m_CancelledEarly.insert(id);
        return;
    }
    it->second.timer->stop();
    it->second.timer->deleteLater();
    m_Tasks.erase(it);
}

void QtHost::Cancel(TaskId id) {
    if (QThread::currentThread() == thread()) {
        DropTask(id);
    } else {
        QMetaObject::invokeMethod(this, [this, id] { DropTask(id); }, Qt::QueuedConnection);
    }
}

TaskId QtHost::Watch(int fd, std::function<void()> ready) {
    const TaskId id = ++m_NextTask;
    // Qt's read notifier also fires on an error or hang-up of the descriptor.
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [ready = std::move(ready)] { ready(); });
    m_Watches[id] = notifier;
    return id;
}

void QtHost::Unwatch(TaskId id) {
    auto it = m_Watches.find(id);
    if (it == m_Watches.end()) return;
    // Its own handler may be the caller.
    it->second->setEnabled(false);
    it->second->deleteLater();
    m_Watches.erase(it);
}

std::unique_ptr<Worker> QtHost::MakeWorker() {
    if (m_WorkInPlace) return std::make_unique<InlineWorker>();
    return std::make_unique<ThreadWorker>(*this);
}

Dialog* QtHost::ActiveModal() const { return m_Windows.empty() ? nullptr : &m_Windows.back()->Owner(); }

size_t QtHost::PendingTasks() const {
    std::lock_guard lock(m_TaskMutex);
    return m_Tasks.size();
}

}  // namespace fw
