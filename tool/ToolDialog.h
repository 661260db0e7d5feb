#pragma once
// The Patchwise dialog: choose an AIR file and a script, then Dump or Update.
#include "tool/ToolDefinitions.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <memory>

class QApplication;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace patchwise {

class ToolDialog : public QDialog {
    Q_OBJECT
public:
    // Settings: organisation "Kestrel Loft", application "Patchwise", value
    // "mru_dir" in group "Quillbox". The definition path is found once, here.
    explicit ToolDialog(QWidget* parent = nullptr);
    ToolDialog(const QString& definitionPath, ToolDefinitions& defs, QWidget* parent = nullptr);

    QString airPath() const { return airPath_; }
    QString scriptPath() const { return scriptPath_; }
    QString lastFolder() const { return lastFolder_; }
    QString definitionPath() const { return definitionPath_; }

    QLineEdit* airNameEdit() const { return airName_; }
    QLineEdit* dumpNameEdit() const { return dumpName_; }
    QLineEdit* scriptNameEdit() const { return scriptName_; }
    QCheckBox* fullDumpBox() const { return fullDump_; }
    QPushButton* dumpButton() const { return dumpButton_; }
    QPushButton* updateButton() const { return updateButton_; }
    QPushButton* selectAirButton() const { return selectAir_; }
    QPushButton* selectScriptButton() const { return selectScript_; }

    // The message boxes: OK, an icon, the file name as text and the outcome as
    // caption, wide enough for the caption to be read in the title bar.
    static std::unique_ptr<QMessageBox> makeMessageBox(
            QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon);
    // The least width of a window whose title bar shows `caption` whole.
    static int captionWidth(const QString& caption);

    static QString settingsOrganization() { return QStringLiteral("Kestrel Loft"); }
    static QString settingsApplication() { return QStringLiteral("Patchwise"); }

public slots:
    void selectAirFile();
    void selectUpdateFile();
    void dump();
    void update();
    void about();

protected:
    // Seams for tests: the file-open dialog (empty result: cancelled), the
    // message boxes and the About box.
    virtual QString chooseFile(const QString& filterName, const QString& pattern, const QString& folder);
    virtual void showMessage(const QString& text, const QString& caption, QMessageBox::Icon icon);
    virtual void showAboutBox();

private:
    void build();
    void readLastFolder();

    QString airPath_;
    QString scriptPath_;
    QString lastFolder_;
    QString definitionPath_;
    ToolDefinitions& defs_;

    QPushButton* aboutButton_ = nullptr;
    QPushButton* quitButton_ = nullptr;
    QPushButton* selectAir_ = nullptr;
    QLineEdit* airName_ = nullptr;
    QPushButton* dumpButton_ = nullptr;
    QCheckBox* fullDump_ = nullptr;
    QLineEdit* dumpName_ = nullptr;
    QPushButton* selectScript_ = nullptr;
    QLineEdit* scriptName_ = nullptr;
    QPushButton* updateButton_ = nullptr;
};

// The About box: icon, "Patchwise Version 1.80" and OK.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

// Shows the dialog until it is closed; the program's exit status.
int runToolDialog(QApplication& app);

} // namespace patchwise
