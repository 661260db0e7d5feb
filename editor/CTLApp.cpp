#include "editor/CTLApp.h"

#include "base/Paths.h"
#include "browser/EditingView.h"
#include "editor/Association.h"
#include "editor/DataFiles.h"
#include "editor/StartCommand.h"
#include "ui/Messages.h"
#include "ui/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <iostream>
#include <string>
#include <vector>

namespace tarlo {

namespace {

CTLApp::FrameFactory& frameFactory()
{
    static CTLApp::FrameFactory f;
    return f;
}

std::string toLocal(const QString& s)
{
    return QFile::encodeName(s).toStdString();
}

QString fromLocal(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

} // namespace

CTLApp::CTLApp(QString programPath) : programPath_(std::move(programPath))
{
    const std::string dir = base::paths::parentFolder(toLocal(programPath_));
    definitionsPath_ = fromLocal(findDataFile(dir, "Tarlo.ini"));
    helpPath_ = fromLocal(findDataFile(dir, "Tarlo.html"));
}

CTLApp::~CTLApp() = default;

void CTLApp::setFrameFactory(FrameFactory factory)
{
    frameFactory() = std::move(factory);
}

bool CTLApp::unregister()
{
    bool ok = unregisterAirFiles();
    QSettings s = ui::settings::store();
    s.clear();
    s.sync();
    if (s.status() != QSettings::NoError)
        ok = false;
    // The settings file itself goes too, where there is one.
    const QString file = s.fileName();
    if (s.format() != QSettings::NativeFormat || !file.startsWith(QLatin1String("\\HKEY"))) {
        if (QFileInfo::exists(file) && !QFile::remove(file))
            ok = false;
    }
    return ok;
}

std::optional<int> CTLApp::initInstance(const QStringList& args)
{
    std::vector<std::string> argv;
    for (const QString& a : args)
        argv.push_back(toLocal(a));
    const StartCommand command = parseStartCommand(argv);
    switch (command.kind) {
    case StartCommand::Kind::Headless:
    case StartCommand::Kind::Usage:
        return runTerminalCommand(command, argv, toLocal(programPath_), std::cout, std::cerr);
    case StartCommand::Kind::Unregister:
        ui::tell(nullptr,
                unregister() ? QStringLiteral("System registry entries have been removed and the INI file "
                                              "(if any) was deleted.")
                             : QStringLiteral(
                                     "Not all of the system registry entries (or INI file) were removed."));
        return 0;
    case StartCommand::Kind::Print:
        return printFile(fromLocal(command.file));
    case StartCommand::Kind::Window:
        break;
    }
    return openWindow(fromLocal(command.file));
}

void CTLApp::createFrame()
{
    CMainFrame::Options opt;
    opt.programPath = programPath_;
    opt.helpPath = helpPath_;
    opt.definitionsPath = definitionsPath_;
    frame_ = frameFactory() ? frameFactory()(opt) : std::make_unique<CMainFrame>(opt);
}

int CTLApp::printFile(const QString& file)
{
    // There is no printing: open the file without showing the window, then end.
    createFrame();
    const bool ok = !file.isEmpty() && frame_->openDocument(file, false);
    frame_->storeRecentFiles();
    return ok ? 0 : 1;
}

std::optional<int> CTLApp::openWindow(const QString& file)
{
    createFrame();
    if (!file.isEmpty() && !frame_->openDocument(file, false)) {
        // A command line that cannot be carried out ends the program.
        return 1;
    }

    frame_->show();
    watch_ = std::make_unique<TerminationWatch>();
    QObject::connect(
            watch_.get(), &TerminationWatch::requested, frame_.get(), &CMainFrame::onTerminationRequested);

    if (file.isEmpty() && frame_->useLastFile() && !frame_->recentFiles().isEmpty()) {
        // A failure shows the file's error and takes it off the list.
        frame_->openDocument(frame_->recentFiles().paths().constFirst(), false);
    }

    if (frame_->useLastSel() && frame_->document().hasData()) {
        QSettings s = ui::settings::store();
        s.beginGroup(ui::settings::kSettingsSection);
        const int last = s.value(ui::settings::kLastSelItem, 2).toInt();
        // An index beyond the current list selects nothing: the root stays selected.
        frame_->view()->selectEntry(last);
    }
    return std::nullopt;
}

} // namespace tarlo
