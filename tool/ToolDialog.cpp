#include "tool/ToolDialog.h"

#include "tool/CommandLine.h"
#include "tool/Dump.h"
#include "tool/Update.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>

namespace patchwise {

namespace {

std::string toNative(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Dialog units of the dialog's font: a quarter of the average character
// width across, an eighth of the character height down.
struct DialogUnits {
    double x, y;
    explicit DialogUnits(const QFont& font)
    {
        QFontMetrics fm(font);
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        x = fm.horizontalAdvance(alphabet) / 52.0 / 4.0;
        y = fm.height() / 8.0;
    }
    QRect rect(int l, int t, int w, int h) const
    {
        return QRect(qRound(l * x), qRound(t * y), qRound(w * x), qRound(h * y));
    }
};

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString folderOf(const QString& path)
{
    int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return QStringLiteral("/");
    return path.left(slash);
}

} // namespace

ToolDialog::ToolDialog(QWidget* parent)
        : ToolDialog(QFile::decodeName(QByteArray::fromStdString(locateDefinitionFile())),
                processDefinitions(), parent)
{}

ToolDialog::ToolDialog(const QString& definitionPath, ToolDefinitions& defs, QWidget* parent)
        : QDialog(parent), definitionPath_(definitionPath), defs_(defs)
{
    build();
    readLastFolder();
}

void ToolDialog::build()
{
    setWindowTitle(QStringLiteral("Patchwise"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    DialogUnits du(font());

    auto button = [&](const QString& label, QRect r) {
        auto* b = new QPushButton(label, this);
        b->setAutoDefault(false);
        b->setGeometry(r);
        return b;
    };
    auto edit = [&](QRect r, bool readOnly) {
        auto* e = new QLineEdit(this);
        e->setReadOnly(readOnly);
        e->setGeometry(r);
        return e;
    };
    aboutButton_ = button(QStringLiteral("About"), du.rect(10, 5, 50, 14));
    quitButton_ = button(QStringLiteral("&Quit"), du.rect(85, 5, 50, 14));
    selectAir_ = button(QStringLiteral("Select Air File"), du.rect(10, 30, 65, 14));
    airName_ = edit(du.rect(10, 50, 125, 14), true);
    dumpButton_ = button(QStringLiteral("Dump"), du.rect(10, 80, 50, 14));
    fullDump_ = new QCheckBox(QStringLiteral("Full Dump"), this);
    fullDump_->setGeometry(du.rect(80, 80, 47, 10).adjusted(0, 0, qRound(10 * du.x), 0));
    dumpName_ = edit(du.rect(10, 100, 120, 14), false);
    selectScript_ = button(QStringLiteral("Select Update File"), du.rect(35, 125, 65, 14));
    scriptName_ = edit(du.rect(10, 145, 125, 14), true);
    updateButton_ = button(QStringLiteral("Update"), du.rect(45, 170, 50, 14));
    // Buttons wide enough for their labels in any font.
    for (QPushButton* b : {selectAir_, selectScript_}) {
        int need = b->sizeHint().width();
        if (b->width() < need)
            b->resize(need, b->height());
    }
    setFixedSize(du.rect(0, 0, 147, 191).size());

    connect(aboutButton_, &QPushButton::clicked, this, &ToolDialog::about);
    connect(quitButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(selectAir_, &QPushButton::clicked, this, &ToolDialog::selectAirFile);
    connect(dumpButton_, &QPushButton::clicked, this, &ToolDialog::dump);
    connect(selectScript_, &QPushButton::clicked, this, &ToolDialog::selectUpdateFile);
    connect(updateButton_, &QPushButton::clicked, this, &ToolDialog::update);

    // The window menu's About item: on this platform the dialog's own context menu.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* aboutItem = new QAction(QStringLiteral("&About Patchwise..."), this);
    connect(aboutItem, &QAction::triggered, this, &ToolDialog::about);
    addAction(separator);
    addAction(aboutItem);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ToolDialog::readLastFolder()
{
    QSettings settings(settingsOrganization(), settingsApplication());
    settings.beginGroup(QStringLiteral("Quillbox"));
    lastFolder_ = settings.value(QStringLiteral("mru_dir"), QDir::homePath()).toString();
    if (lastFolder_.isEmpty())
        lastFolder_ = QDir::homePath();
}

QString ToolDialog::chooseFile(const QString& filterName, const QString& pattern, const QString& folder)
{
    const QString filter = filterName + QStringLiteral(" (") + pattern + QLatin1Char(' ') + pattern.toLower()
            + QLatin1Char(')');
    return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), folder, filter);
}

int ToolDialog::captionWidth(const QString& caption)
{
    // Window managers draw titles in their own, often bold and larger, font,
    // beside a window icon and up to three buttons: measure in the bold title
    // font and leave room for those.
    QFont f = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    f.setBold(true);
    const QFontMetrics fm(f);
    return fm.horizontalAdvance(caption) * 5 / 4 + 6 * fm.height() + 40;
}

std::unique_ptr<QMessageBox> ToolDialog::makeMessageBox(
        QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    auto box = std::make_unique<QMessageBox>(icon, caption, text, QMessageBox::Ok, parent);
    // The box sizes itself from its layout when shown; a spacer across the
    // whole layout makes that size wide enough for the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(captionWidth(caption), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

void ToolDialog::showMessage(const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    makeMessageBox(this, text, caption, icon)->exec();
}

void ToolDialog::showAboutBox()
{
    AboutBox box(this);
    box.exec();
}

void ToolDialog::about()
{
    showAboutBox();
}

void ToolDialog::selectAirFile()
{
    airPath_.clear();
    const QString path = chooseFile(QStringLiteral("Air"), QStringLiteral("*.AIR"), lastFolder_);
    if (path.isEmpty()) {
        airName_->clear();
        dumpName_->clear();
        return;
    }
    airPath_ = path;
    const QString name = fileNameOf(path);
    airName_->setText(name);
    lastFolder_ = folderOf(path);
    QSettings settings(settingsOrganization(), settingsApplication());
    settings.beginGroup(QStringLiteral("Quillbox"));
    settings.setValue(QStringLiteral("mru_dir"), lastFolder_);
    settings.sync();
    dumpName_->setText(QString::fromStdString(dumpFileName(name.toStdString())));
    QDir::setCurrent(lastFolder_);
}

void ToolDialog::selectUpdateFile()
{
    const QString path = chooseFile(QStringLiteral("Text"), QStringLiteral("*.TXT"), lastFolder_);
    if (path.isEmpty()) {
        // What is not shown is not chosen.
        scriptPath_.clear();
        scriptName_->clear();
        return;
    }
    scriptPath_ = path;
    scriptName_->setText(fileNameOf(path));
    QDir::setCurrent(folderOf(path));
}

void ToolDialog::dump()
{
    if (airPath_.isEmpty()) {
        showMessage(QStringLiteral("No Air File Selected"), QStringLiteral("Ledgeon"), QMessageBox::Critical);
        return;
    }
    const QString dumpName = dumpName_->text();
    const QString dumpPath = folderOf(airPath_) + QLatin1Char('/') + dumpName;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    int result = writeDump(
            toNative(airPath_), toNative(dumpPath), toNative(definitionPath_), fullDump_->isChecked(), defs_);
    QGuiApplication::restoreOverrideCursor();
    if (result == 0)
        showMessage(dumpName, QStringLiteral("Air File Dumped"), QMessageBox::Warning);
    else
        showMessage(dumpName, QStringLiteral("Error"), QMessageBox::Critical);
}

void ToolDialog::update()
{
    if (airPath_.isEmpty() || scriptPath_.isEmpty()) {
        showMessage(QStringLiteral("Files Not Selected"), QStringLiteral("Patchwise"), QMessageBox::Critical);
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    int result =
            applyUpdateScript(toNative(airPath_), toNative(scriptPath_), toNative(definitionPath_), defs_);
    QGuiApplication::restoreOverrideCursor();
    const QString name = fileNameOf(airPath_);
    if (result == 0)
        showMessage(name, QStringLiteral("Air File Updated"), QMessageBox::Warning);
    else
        showMessage(name, QStringLiteral("Error"), QMessageBox::Critical);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Patchwise"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogUnits du(font());
    auto* icon = new QLabel(this);
    QIcon appIcon = QApplication::windowIcon();
    if (appIcon.isNull())
        appIcon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    icon->setPixmap(appIcon.pixmap(32, 32));
    icon->setGeometry(du.rect(11, 17, 20, 20));
    auto* text = new QLabel(QString::fromLatin1(kVersionText), this);
    text->setGeometry(du.rect(40, 10, 119, 8).adjusted(0, 0, 0, qRound(4 * du.y)));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(du.rect(178, 7, 32, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(du.rect(0, 0, 217, 55).size());
}

int runToolDialog(QApplication& app)
{
    QApplication::setOrganizationName(ToolDialog::settingsOrganization());
    QApplication::setApplicationName(ToolDialog::settingsApplication());
    (void)app;
    ToolDialog dialog;
    dialog.exec(); // Quit, Escape and closing all end the program normally
    return 0;
}

} // namespace patchwise
