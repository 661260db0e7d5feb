#pragma once
// SIGTERM, SIGHUP and SIGINT (the system ending the program, the terminal
// or session going away, Ctrl+C) turned into a Qt signal on the thread that
// made the watch, so the window can keep its unsaved work before it ends.
// The handler only writes the signal's number to a socket pair; the rest
// runs from the event loop, between two user actions, never in the middle
// of one. Each handler is good for one delivery: a second signal of the
// same kind ends the program at once, should keeping the work hang.
// Signals ignored when the program started (nohup) stay ignored.
// One watch at a time; it puts the earlier handlers back when it goes.
#include <QObject>

#include <memory>

class QSocketNotifier;

namespace tarlo {

class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

    // Ends the program by sig, as it would have ended without a handler:
    // whoever waits for it sees the signal, not an exit status.
    [[noreturn]] static void endBy(int sig);

signals:
    void requested(int sig);

private:
    void readSignals();

    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tarlo
