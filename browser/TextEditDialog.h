#pragma once
// Modal dialog that edits a text value in a multi-line box.
#include <QDialog>
#include <QPlainTextEdit>
#include <functional>
#include <string>

namespace browser {

// The box counts a line break as two characters, as it is stored (CR LF).
class TextLimitEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextLimitEdit(QWidget* parent = nullptr) : QPlainTextEdit(parent) {}
    void setLimit(int chars) { limit_ = chars; }
    int storedLength() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int room() const;
    int limit_ = 512;
};

class TextEditDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxChars = 512;

    // `stored` is the value's characters as held in the file (8-bit, CR LF breaks).
    TextEditDialog(const QString& name, const std::string& stored, QWidget* parent = nullptr);

    // The text as the box holds it, line breaks as CR LF, 8-bit characters.
    std::string storedText() const;
    TextLimitEdit* editor() const { return edit_; }

    // Run on OK with storedText(): a non-empty answer is shown as a message
    // and the dialog stays open.
    using AcceptCheck = std::function<QString(const std::string&)>;
    void setAcceptCheck(AcceptCheck check) { check_ = std::move(check); }

    static QString toBoxText(const std::string& stored);
    static std::string fromBoxText(const QString& box);

public slots:
    void accept() override;

private:
    TextLimitEdit* edit_;
    AcceptCheck check_;
};

} // namespace browser
