#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/command_line.h"

class QLocalServer;
class QLocalSocket;
class QWidget;

namespace brindle::app {

// What a second start asks of the running program: its arguments (options already read) and
// its current folder, as the system gave their bytes, and the desktop's activation token.
struct HandOverRequest {
    std::vector<std::string> arguments;
    std::string currentFolder;
    QByteArray activationToken;
};

QByteArray EncodeRequest(const HandOverRequest& request);

// Takes one whole request from the front of `buffer`. Nothing while it is still incomplete;
// `broken` is set when the bytes are no request at all: a larger one than a command line can
// hold, or a path holding a NUL.
std::optional<HandOverRequest> TakeRequest(QByteArray& buffer, bool* broken);

// The second start's side: delivers the request and returns once the running program has
// taken it. False when no running program listens at `socketName` or it did not take it.
bool SendRequest(const QString& socketName, const HandOverRequest& request);

// The window a start-up decision opens, filled from the arguments; not shown yet. Nullptr for
// the main window.
QWidget* CreateRequestedWindow(const StartDecision& decision, const std::vector<std::string>& arguments,
                               const std::string& currentFolder);

// The running program's side: takes each second start's request. A file opens its quick
// split (a first piece its quick join), "-r" adds to the rename list, no argument only brings
// the window back; while a job runs the request waits, and the user sees why. A window that
// holds work stays: the request opens beside it.
class HandOver : public QObject {
    Q_OBJECT
public:
    explicit HandOver(QObject* parent = nullptr);
    ~HandOver() override;

    // Listens at `socketName`, replacing a socket left by a killed instance. Each connection
    // carries one request, answered once it is taken; a connection beyond the few served at
    // once, one that outstays the time limit and one whose bytes are no request are closed.
    bool Listen(const QString& socketName);
    void Take(const HandOverRequest& request);
    int Waiting() const { return static_cast<int>(waiting_.size()); }

signals:
    // A request was carried out; `window` is the one it opened or brought to the front.
    void taken(QWidget* window);

private:
    void TakeWaiting();
    QWidget* CarryOut(const HandOverRequest& request);
    void Serve(QLocalSocket* socket);

    std::unique_ptr<QLocalServer> server_;
    QString socketName_;
    QTimer watch_;
    std::deque<QPointer<QLocalSocket>> serving_;  // oldest first
    std::vector<HandOverRequest> waiting_;
};

// True when no window of the program but the one showing `page` is open: a quick job that
// ends the program ends it only then, and otherwise closes only its own window.
bool IsLastWindow(const QWidget* page);

// True when closing `window` would throw work away: a filled-in page, a list with rows.
bool HoldsWork(const QWidget* window);

// Brings a window back from the task bar and to the front, through the desktop's activation
// where a token came with the request.
void BringToFront(QWidget* window, const QByteArray& activationToken = {});

}  // namespace brindle::app
