#include "editor/CTLApp.h"

#include "base/Paths.h"
#include "browser/EditingView.h"
#include "editor/Association.h"
#include "model/DataFiles.h"
#include "ui/Messages.h"
#include "ui/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace tarlo {

namespace {

CTLApp::FrameFactory& frameFactory()
{
    static CTLApp::FrameFactory f;
    return f;
}

// "/x" or "-x" (either case) naming switch `name`.
bool isSwitch(const QString& arg, const char* name)
{
    if (arg.size() < 2 || (arg.at(0) != u'/' && arg.at(0) != u'-')) return false;
    QStringView body = QStringView(arg).mid(1);
    if (body.startsWith(u'-')) body = body.mid(1); // "--unregister" too
    return body.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

CommandLine parseCommandLine(const QStringList& args)
{
    CommandLine cl;
    // A lone argument naming an existing file opens that file, even when it
    // looks like a switch (an absolute path begins with "/").
    if (args.size() == 1 && QFileInfo(args.at(0)).isFile()) {
        cl.file = args.at(0);
        return cl;
    }
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (isSwitch(a, "unregister") || isSwitch(a, "unregserver")) {
            cl.kind = CommandLine::Kind::Unregister;
            return cl;
        }
        if (isSwitch(a, "p") || isSwitch(a, "pt")) {
            cl.kind = CommandLine::Kind::Print;
            if (i + 1 < args.size()) cl.file = args.at(i + 1);
            return cl;
        }
        if (cl.file.isEmpty()) cl.file = a;
    }
    return cl;
}

CTLApp::CTLApp(QString programPath) : programPath_(std::move(programPath))
{
    const std::string dir = base::paths::parentFolder(QFile::encodeName(programPath_).toStdString());
    definitionsPath_ = QFile::decodeName(QByteArray::fromStdString(model::findDataFile(dir, "Tarlo.ini")));
    helpPath_ = QFile::decodeName(QByteArray::fromStdString(model::findDataFile(dir, "Tarlo.html")));
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
    if (s.status() != QSettings::NoError) ok = false;
    // The settings file itself goes too, where there is one.
    const QString file = s.fileName();
    if (s.format() != QSettings::NativeFormat || !file.startsWith(QLatin1String("\\HKEY"))) {
        if (QFileInfo::exists(file) && !QFile::remove(file)) ok = false;
    }
    return ok;
}

std::optional<int> CTLApp::initInstance(const QStringList& args)
{
    const CommandLine cl = parseCommandLine(args);
    if (cl.kind == CommandLine::Kind::Unregister) {
        const bool removed = unregister();
        ui::tell(nullptr,
                removed ? QStringLiteral("System registry entries have been removed and the INI file "
                                         "(if any) was deleted.")
                        : QStringLiteral(
                                "Not all of the system registry entries (or INI file) were removed."));
        return 0;
    }

    CMainFrame::Options opt;
    opt.programPath = programPath_;
    opt.helpPath = helpPath_;
    opt.definitionsPath = definitionsPath_;
    frame_ = frameFactory() ? frameFactory()(opt) : std::make_unique<CMainFrame>(opt);

    if (cl.kind == CommandLine::Kind::Print) {
        // There is no printing: open the file without showing the window, then end.
        const bool ok = !cl.file.isEmpty() && frame_->openDocument(cl.file, false);
        frame_->storeRecentFiles();
        return ok ? 0 : 1;
    }

    if (!cl.file.isEmpty() && !frame_->openDocument(cl.file, false)) {
        // A command line that cannot be carried out ends the program.
        return 1;
    }

    frame_->show();

    if (cl.file.isEmpty() && frame_->useLastFile() && !frame_->recentFiles().isEmpty()) {
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
