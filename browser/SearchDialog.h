#pragma once
// "Text To Search For": asks for the text that "Search For Entry..." looks for.
#include <QDialog>

class QLineEdit;

namespace browser {

class SearchDialog : public QDialog {
    Q_OBJECT
public:
    explicit SearchDialog(const QString& text, QWidget* parent = nullptr);
    QString text() const;
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_;
};

} // namespace browser
