#include "browser/SearchDialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace browser {

SearchDialog::SearchDialog(const QString& text, QWidget* parent) : QDialog(parent), edit_(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Text To Search For"));
    auto* label = new QLabel(QStringLiteral("Enter text to search for."), this);
    label->setAlignment(Qt::AlignCenter);
    edit_->setObjectName(QStringLiteral("searchText"));
    edit_->setText(text);
    edit_->selectAll();

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(cancel);
    row->addStretch(1);
    row->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit_);
    layout->addLayout(row);

    // 186 x 64 dialog units.
    const QFontMetrics fm(font());
    resize(fm.averageCharWidth() * 186 / 4, fm.height() * 64 / 8);
    edit_->setFocus();
}

QString SearchDialog::text() const
{
    return edit_->text();
}

} // namespace browser
