#include "shell/hand_over.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDataStream>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <memory>
#include <utility>

#include "join/frm_simple_join.h"
#include "rename/frm_rename.h"
#include "shell/chrome_window.h"
#include "shell/frm_main.h"
#include "shell/job_runner.h"
#include "shell/navigation.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "split/frm_simple.h"

namespace brindle::app {
namespace {

// The page a top-level window shows, or the window itself when it holds no page.
QWidget* PageOf(QWidget* topLevel) {
    QWidget* page = ChromeWindow::PageIn(topLevel);
    return page != nullptr ? page : topLevel;
}

constexpr quint32 kRequestMark = 0x54424831;  // "TBH1"
// Far beyond any file manager's selection; a longer count is no request.
constexpr quint32 kMostArguments = 1u << 20;
// What a command line can hold (the kernel's limit for all arguments is 2 MiB by default).
constexpr quint32 kMostRequestBytes = 8u << 20;
// A second start writes its request at once: a connection is not held open by anyone for
// longer, and only a few are served at a time, so no client can use up the program's files.
constexpr int kConnectionMilliseconds = 10'000;
constexpr int kMostConnections = 8;
constexpr char kTaken = '\x01';
constexpr int kGap = 12;

// The window the user works in (the page it shows): the active one, else the first visible.
QWidget* CurrentWindow() {
    if (QWidget* active = QApplication::activeWindow(); active != nullptr && active->parentWidget() == nullptr) {
        return PageOf(active);
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->parentWidget() == nullptr &&
            qobject_cast<QMessageBox*>(widget) == nullptr) {
            return PageOf(widget);
        }
    }
    return nullptr;
}

frmRename* OpenRenameList() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* list = qobject_cast<frmRename*>(PageOf(widget)); list != nullptr && list->isVisible()) {
            return list;
        }
    }
    return nullptr;
}

std::vector<std::string> RenamePaths(const std::vector<std::string>& arguments,
                                     const std::string& currentFolder) {
    std::vector<std::string> paths(arguments.begin() + 1, arguments.end());
    for (std::string& path : paths) {
        if (!path.empty() && path.front() != kPathSeparator && !currentFolder.empty()) {
            path = JoinPath(currentFolder, path);
        }
    }
    return paths;
}

// Said while a job runs; gone once the request has been taken.
QPointer<QMessageBox>& WaitNotice() {
    static QPointer<QMessageBox> notice;
    return notice;
}

void ShowWaitNotice(QWidget* over) {
    if (WaitNotice()) {
        return;
    }
    auto* notice = new QMessageBox(
        QMessageBox::Information, QApplication::applicationName(),
        QCoreApplication::translate("HandOver",
                                    "A job is running. What was opened with Tarnwick Brindle "
                                    "follows as soon as it has ended."),
        QMessageBox::Ok, over);
    notice->setObjectName(QStringLiteral("handOverNotice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setWindowModality(Qt::NonModal);
    notice->show();
    WaitNotice() = notice;
}

}  // namespace

QByteArray EncodeRequest(const HandOverRequest& request) {
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << QByteArray::fromStdString(request.currentFolder) << request.activationToken
        << static_cast<quint32>(request.arguments.size());
    for (const std::string& argument : request.arguments) {
        out << QByteArray::fromStdString(argument);
    }
    QByteArray whole;
    QDataStream frame(&whole, QIODevice::WriteOnly);
    frame << kRequestMark << body;
    return whole;
}

std::optional<HandOverRequest> TakeRequest(QByteArray& buffer, bool* broken) {
    *broken = false;
    QDataStream frame(buffer);
    quint32 mark = 0;
    QByteArray body;
    quint32 length = 0;
    frame >> mark;
    if (frame.status() != QDataStream::Ok) {
        return std::nullopt;
    }
    if (mark != kRequestMark) {
        *broken = true;
        return std::nullopt;
    }
    frame >> length;
    if (frame.status() != QDataStream::Ok) {
        return std::nullopt;
    }
    // The length is known before the body comes: nothing larger is waited for or kept, and
    // the body is read once, when it is all there.
    if (length > kMostRequestBytes) {
        *broken = true;
        return std::nullopt;
    }
    constexpr qsizetype kFrameHead = 2 * sizeof(quint32);
    if (buffer.size() < kFrameHead + static_cast<qsizetype>(length)) {
        return std::nullopt;  // the rest is still on its way
    }
    body = buffer.mid(kFrameHead, length);
    buffer.remove(0, kFrameHead + static_cast<qsizetype>(length));

    QDataStream in(body);
    in.setVersion(QDataStream::Qt_6_0);
    HandOverRequest request;
    QByteArray folder;
    quint32 count = 0;
    in >> folder >> request.activationToken >> count;
    request.currentFolder = folder.toStdString();
    // A path holding a NUL would be cut into another path by every call that takes it.
    bool nul = folder.contains('\0');
    for (quint32 i = 0; i < count && i < kMostArguments && in.status() == QDataStream::Ok; ++i) {
        QByteArray argument;
        in >> argument;
        nul = nul || argument.contains('\0');
        request.arguments.push_back(argument.toStdString());
    }
    if (in.status() != QDataStream::Ok || count > kMostArguments || !in.atEnd() || nul) {
        *broken = true;
        return std::nullopt;
    }
    return request;
}

bool SendRequest(const QString& socketName, const HandOverRequest& request) {
    QLocalSocket socket;
    socket.connectToServer(socketName);
    if (!socket.waitForConnected(2000)) {
        return false;
    }
    socket.write(EncodeRequest(request));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(5000)) {
            return false;
        }
    }
    // The running program answers once it has the request whole and sound.
    const bool taken = socket.waitForReadyRead(kConnectionMilliseconds) && socket.read(1) == QByteArray(1, kTaken);
    socket.disconnectFromServer();
    return taken;
}

QWidget* CreateRequestedWindow(const StartDecision& decision, const std::vector<std::string>& arguments,
                               const std::string& currentFolder) {
    switch (decision.window) {
        case StartWindow::Main:
            return nullptr;
        case StartWindow::RenameList: {
            auto* list = new frmRename;
            list->AddPaths(RenamePaths(arguments, currentFolder));
            return list;
        }
        case StartWindow::QuickJoin: {
            auto values = std::make_shared<JobValues>();
            values->join.JoinFolder = decision.joinFolder;
            values->join.JoinGroupName = decision.joinGroupName;
            values->join.JoinNumbered = decision.joinNumbered;
            return new frmSimpleJoin(std::move(values));
        }
        case StartWindow::QuickSplit: {
            auto values = std::make_shared<JobValues>();
            values->split.SplitSourcePath = decision.splitSourcePath;
            values->split.SplitDestFolder = decision.splitDestFolder;
            values->split.SplitGroupName = decision.splitGroupName;
            return new frmSimple(std::move(values));
        }
    }
    return nullptr;
}

bool IsLastWindow(const QWidget* page) {
    const QWidget* own = page->window();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget != own && widget->isVisible() && ChromeWindow::PageIn(widget) != nullptr) {
            return false;
        }
    }
    return true;
}

bool HoldsWork(const QWidget* window) {
    if (window == nullptr || qobject_cast<const frmMain*>(window) != nullptr) {
        return false;
    }
    for (const QLineEdit* box : window->findChildren<QLineEdit*>()) {
        if (box->isVisibleTo(window) && !box->text().isEmpty()) {
            return true;
        }
    }
    for (const QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
        if (view->isVisibleTo(window) && view->model() != nullptr &&
            view->model()->rowCount(view->rootIndex()) > 0) {
            return true;
        }
    }
    return false;
}

void BringToFront(QWidget* page, const QByteArray& activationToken) {
    if (page == nullptr) {
        return;
    }
    QWidget* window = page->window();
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    // Qt's Wayland shell hands this token to the compositor's activation on the next request.
    if (!activationToken.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    }
    window->activateWindow();
}

HandOver::HandOver(QObject* parent) : QObject(parent) {
    connect(&JobRunner::Jobs(), &JobRunner::allEnded, this, &HandOver::TakeWaiting);
}

HandOver::~HandOver() = default;

bool HandOver::Listen(const QString& socketName) {
    auto server = std::make_unique<QLocalServer>();
    QLocalServer::removeServer(socketName);  // one left by a killed instance
    if (!server->listen(socketName)) {
        return false;
    }
    connect(server.get(), &QLocalServer::newConnection, this, [this, raw = server.get()] {
        while (QLocalSocket* socket = raw->nextPendingConnection()) {
            Serve(socket);
        }
    });
    server_ = std::move(server);
    socketName_ = socketName;
    // Qt closes a server whose accept fails (out of file handles, say) and removes its
    // socket: it is opened again, so later starts still reach this program.
    if (!watch_.isActive()) {
        connect(&watch_, &QTimer::timeout, this, [this] {
            if (server_ != nullptr && !server_->isListening()) {
                Listen(socketName_);
            }
        });
        watch_.start(2000);
    }
    return true;
}

void HandOver::Serve(QLocalSocket* socket) {
    const auto end = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    // A second start writes at once: when too many are open, the one open longest gives way.
    std::erase_if(serving_, [](const QPointer<QLocalSocket>& open) { return open.isNull(); });
    if (static_cast<int>(serving_.size()) >= kMostConnections) {
        serving_.front()->abort();
        serving_.front()->deleteLater();
        serving_.pop_front();
    }
    serving_.emplace_back(socket);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // One request per connection, whole within the time limit, or the connection ends.
    QTimer::singleShot(kConnectionMilliseconds, socket, end);
    auto buffer = std::make_shared<QByteArray>();
    auto taken = std::make_shared<bool>(false);
    const auto read = [this, socket, buffer, taken, end] {
        if (*taken) {
            return;
        }
        buffer->append(socket->read(kMostRequestBytes + 16 - buffer->size()));
        bool broken = false;
        if (std::optional<HandOverRequest> request = TakeRequest(*buffer, &broken)) {
            *taken = true;
            socket->write(QByteArray(1, kTaken));
            socket->flush();  // before the request's window work keeps this thread
            socket->disconnectFromServer();
            Take(*request);
        } else if (broken) {
            end();
        }
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    read();  // what came with the connection
}

void HandOver::Take(const HandOverRequest& request) {
    waiting_.push_back(request);
    if (JobRunner::RunningJobs() > 0) {
        ShowWaitNotice(CurrentWindow());
        return;
    }
    TakeWaiting();
}

void HandOver::TakeWaiting() {
    if (JobRunner::RunningJobs() > 0) {
        return;
    }
    if (WaitNotice()) {
        WaitNotice()->close();
    }
    std::vector<HandOverRequest> requests;
    requests.swap(waiting_);
    for (const HandOverRequest& request : requests) {
        emit taken(CarryOut(request));
    }
}

QWidget* HandOver::CarryOut(const HandOverRequest& request) {
    const StartDecision decision = DecideStartWindow(request.arguments, request.currentFolder);
    QWidget* current = CurrentWindow();
    if (decision.window == StartWindow::Main && current != nullptr) {
        BringToFront(current, request.activationToken);
        return current;
    }
    if (decision.window == StartWindow::RenameList) {
        if (frmRename* list = OpenRenameList(); list != nullptr && !list->IsBusy()) {
            list->AddPaths(RenamePaths(request.arguments, request.currentFolder));
            BringToFront(list, request.activationToken);
            return list;
        }
    }
    // A window whose dialog is open keeps its page too.
    const bool beside = HoldsWork(current) || ShowsDialog(current);
    QWidget* next = CreateRequestedWindow(decision, request.arguments, request.currentFolder);
    if (next == nullptr) {
        next = new frmMain;
        static_cast<frmMain*>(next)->Load({}, request.currentFolder);
        return next;
    }
    if (beside) {
        QWidget* anchor = current->window();
        QScreen* screen = anchor->screen();
        const QRect room = screen != nullptr ? screen->availableGeometry() : anchor->frameGeometry();
        if (QLayout* layout = next->window()->layout()) {
            layout->activate();  // its real size, before it is placed by it
        }
        next->window()->move(PlaceBeside(anchor->frameGeometry(), next->window()->frameGeometry().size(), room, kGap));
        ShowWithFocus(next);
    } else if (current != nullptr) {
        ReplaceWindow(current, next);
    } else {
        CentreOnScreen(next);
        ShowWithFocus(next);
    }
    BringToFront(next, request.activationToken);
    return next;
}

}  // namespace brindle::app
