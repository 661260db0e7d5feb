#include "ui/Placement.h"

#include "ui/Settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace ui {

QRect openRect(const Edges& stored, const Edges& desk, const SizeLimits& limits)
{
    // 64-bit: stored values come from a file the user can edit.
    long long x = stored.left, y = stored.top;
    long long w = static_cast<long long>(stored.right) - stored.left;
    long long h = static_cast<long long>(stored.bottom) - stored.top;
    x = std::max<long long>(x, 0);
    y = std::max<long long>(y, 0);
    if (w < limits.minimum.width())
        w = limits.opened.width();
    if (h < limits.minimum.height())
        h = limits.opened.height();
    x = std::min<long long>(x, static_cast<long long>(desk.right) - 100);
    y = std::min<long long>(y, static_cast<long long>(desk.bottom) - 100);
    if (x + w > desk.right)
        w = desk.right - x;
    if (y + h > desk.bottom)
        h = desk.bottom - y;
    // A desktop narrower than 100 pixels would leave nothing visible; keep
    // the window at its minimum size and on the screen's origin side.
    x = std::max<long long>(x, 0);
    y = std::max<long long>(y, 0);
    w = std::max<long long>(w, limits.minimum.width());
    h = std::max<long long>(h, limits.minimum.height());
    return QRect(int(x), int(y), int(w), int(h));
}

Edges savedEdges(const Edges& r, const Edges& desk, const SizeLimits& limits)
{
    long long l = std::max(r.left, 0), t = std::max(r.top, 0);
    long long right = std::max<long long>(r.right, l + limits.minimum.width());
    long long bottom = std::max<long long>(r.bottom, t + limits.minimum.height());
    right = std::min<long long>(right, desk.right);
    bottom = std::min<long long>(bottom, desk.bottom);
    return Edges{int(l), int(t), int(right), int(bottom)};
}

Edges desktopEdges(const QWidget* w)
{
    QScreen* screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const QRect g = screen ? screen->virtualGeometry() : QRect(0, 0, 1024, 768);
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

Edges readPlacement(const QString& section, const Edges& d)
{
    QSettings s = settings::store();
    s.beginGroup(section);
    const Edges e{s.value(settings::kLeft, d.left).toInt(), s.value(settings::kTop, d.top).toInt(),
            s.value(settings::kRight, d.right).toInt(), s.value(settings::kBottom, d.bottom).toInt()};
    s.endGroup();
    return e;
}

void writePlacement(const QString& section, const Edges& e)
{
    QSettings s = settings::store();
    s.beginGroup(section);
    s.setValue(settings::kLeft, e.left);
    s.setValue(settings::kRight, e.right);
    s.setValue(settings::kTop, e.top);
    s.setValue(settings::kBottom, e.bottom);
    s.endGroup();
}

QRect fitOuterRect(const QRect& outer, const QMargins& frame, const QRect& available, const QSize& minClient)
{
    const int fw = frame.left() + frame.right(), fh = frame.top() + frame.bottom();
    // 64-bit: the outer rectangle may come from stored values.
    long long w = std::max<long long>(
            std::min<long long>(outer.width(), available.width()) - fw, std::max(minClient.width(), 1));
    long long h = std::max<long long>(
            std::min<long long>(outer.height(), available.height()) - fh, std::max(minClient.height(), 1));
    long long x = outer.x(), y = outer.y();
    const long long right = (long long)available.x() + available.width();
    const long long bottom = (long long)available.y() + available.height();
    x = std::max<long long>(std::min(x, right - (w + fw)), available.x());
    y = std::max<long long>(std::min(y, bottom - (h + fh)), available.y());
    return QRect(int(x + frame.left()), int(y + frame.top()), int(w), int(h));
}

QMargins frameMarginsOf(const QWidget* w)
{
    const QRect f = w->frameGeometry(), g = w->geometry();
    return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

QRect availableAreaFor(const QRect& r)
{
    QScreen* screen = QGuiApplication::screenAt(r.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

namespace {

// The frame of the window placed last; the best guess for the next one.
QMargins& lastFrame()
{
    static QMargins m;
    return m;
}

// Lives on a window while its outer rectangle still waits for the real frame.
class OuterPlacer : public QObject {
public:
    explicit OuterPlacer(QWidget* w) : QObject(w), w_(w)
    {
        setObjectName(name());
        w->installEventFilter(this);
    }
    static QString name() { return QStringLiteral("tarloOuterPlacer"); }

    void place(const QRect& outer)
    {
        // A shown window's frame is known; before that, guess.
        const QMargins m = w_->isVisible() ? frameMarginsOf(w_) : lastFrame();
        outer_ = outer;
        if (w_->isVisible() && !m.isNull())
            outer_.reset();
        fit(outer, m);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == w_ && outer_) {
            switch (e->type()) {
            case QEvent::Show:
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowActivate: {
                const QMargins m = frameMarginsOf(w_);
                if (!m.isNull() && w_->isVisible()) {
                    lastFrame() = m;
                    const QRect outer = *outer_;
                    outer_.reset(); // once: later moves are the user's
                    fit(outer, m);
                }
                break;
            }
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, e);
    }

private:
    void fit(const QRect& outer, const QMargins& m)
    {
        const QSize min = w_->minimumSizeHint().expandedTo(w_->minimumSize());
        const QRect g = fitOuterRect(outer, m, availableAreaFor(outer), min);
        if (w_->geometry() != g)
            w_->setGeometry(g);
    }

    QWidget* w_;
    std::optional<QRect> outer_;
};

} // namespace

void placeOuter(QWidget* w, const QRect& outer)
{
    auto* placer = dynamic_cast<OuterPlacer*>(
            w->findChild<QObject*>(OuterPlacer::name(), Qt::FindDirectChildrenOnly));
    if (!placer)
        placer = new OuterPlacer(w);
    placer->place(outer);
}

QRect restoredOuterRect(const QWidget* w)
{
    const QRect g = w->geometry(), f = w->frameGeometry();
    if (!w->isMinimized() && !w->isMaximized())
        return f;
    // Keep the rectangle the window returns to, not the icon or the screen.
    return w->normalGeometry().adjusted(
            f.left() - g.left(), f.top() - g.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

void applyPlacement(QWidget* w, const QString& section, const Edges& defaults, const SizeLimits& limits)
{
    placeOuter(w, openRect(readPlacement(section, defaults), desktopEdges(w), limits));
}

void savePlacement(const QWidget* w, const QString& section, const SizeLimits& limits)
{
    const QRect f = restoredOuterRect(w);
    const Edges r{f.x(), f.y(), f.x() + f.width(), f.y() + f.height()};
    writePlacement(section, savedEdges(r, desktopEdges(w), limits));
}

} // namespace ui
