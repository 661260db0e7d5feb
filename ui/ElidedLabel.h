#pragma once
// A one-line status text that ends in "…" when its pane is too narrow, with
// the whole text as its tooltip.
#include <QFrame>
#include <QString>

namespace ui {

class ElidedLabel : public QFrame {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    // The text as painted at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

} // namespace ui
