#pragma once
// The editor's application object: settings key, data file paths, the
// command line and the start-up sequence.

#include "editor/CMainFrame.h"
#include "editor/TerminationWatch.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarlo {

class CTLApp {
public:
    // programPath: the program file's full path (argv[0] resolved).
    explicit CTLApp(QString programPath);
    ~CTLApp();

    // Replaces the main window class (tests answer its file dialogs).
    using FrameFactory = std::function<std::unique_ptr<CMainFrame>(const CMainFrame::Options&)>;
    static void setFrameFactory(FrameFactory factory);

    // The start-up sequence for the command line args (argv[1..], read by
    // parseStartCommand). Returns an exit status when the program is to end
    // at once (terminal commands, print forms, unregister, a usage error, a
    // file that cannot be opened); nullopt when the event loop should run.
    std::optional<int> initInstance(const QStringList& args);

    CMainFrame* mainFrame() const { return frame_.get(); }
    const QString& definitionsPath() const { return definitionsPath_; }
    const QString& helpPath() const { return helpPath_; }

    // Removes the association and the settings. True when all is gone.
    static bool unregister();

private:
    void createFrame();
    // "/p FILE": opens the file without showing the window; the exit status.
    int printFile(const QString& file);
    // Shows the main window with the file (or the last one, if so set).
    std::optional<int> openWindow(const QString& file);

    QString programPath_;
    QString definitionsPath_;
    QString helpPath_;
    std::unique_ptr<CMainFrame> frame_;
    // Turns the system's end of the program into the window's (after frame_: it goes first).
    std::unique_ptr<TerminationWatch> watch_;
};

} // namespace tarlo
