#include "tables/Placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace tables {

QRect openRect(const Edges& stored, const Edges& s)
{
    int x = stored.left;
    int y = stored.top;
    // 64-bit differences: stored values come from a file the user can edit.
    long long w = (long long)stored.right - x;
    long long h = (long long)stored.bottom - y;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (w < 100)
        w = 100;
    if (h < 40)
        h = 40;
    if (x > s.right - 100)
        x = s.right - 100;
    if (y > s.bottom - 100)
        y = s.bottom - 100;
    if (x + w > s.right)
        w = s.right - x;
    if (y + h > s.bottom)
        h = s.bottom - y;
    return QRect(x, y, int(w), int(h));
}

Edges savedEdges(const Edges& r, const Edges& s)
{
    Edges e = r;
    if (e.left < 0)
        e.left = 0;
    if (e.top < 0)
        e.top = 0;
    if (e.right < e.left + 100)
        e.right = e.left + 100;
    if (e.bottom < e.top + 40)
        e.bottom = e.top + 40;
    if (e.right > s.right)
        e.right = s.right;
    if (e.bottom > s.bottom)
        e.bottom = s.bottom;
    return e;
}

Edges desktopEdges()
{
    QRect g(0, 0, 1024, 768);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        g = screen->virtualGeometry();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}


Edges readPlacement(const QString& section, const Edges& d)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    s.beginGroup(section);
    Edges e{s.value(QStringLiteral("Left"), d.left).toInt(), s.value(QStringLiteral("Top"), d.top).toInt(),
            s.value(QStringLiteral("Right"), d.right).toInt(),
            s.value(QStringLiteral("Bottom"), d.bottom).toInt()};
    s.endGroup();
    return e;
}

void writePlacement(const QString& section, const Edges& e)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    s.beginGroup(section);
    s.setValue(QStringLiteral("Left"), e.left);
    s.setValue(QStringLiteral("Right"), e.right);
    s.setValue(QStringLiteral("Top"), e.top);
    s.setValue(QStringLiteral("Bottom"), e.bottom);
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

void applyPlacement(QWidget* w, const QString& section, const Edges& defaults)
{
    placeOuter(w, openRect(readPlacement(section, defaults), desktopEdges()));
}

void savePlacement(const QWidget* w, const QString& section)
{
    const QRect f = w->frameGeometry();
    const Edges r{f.x(), f.y(), f.x() + f.width(), f.y() + f.height()};
    writePlacement(section, savedEdges(r, desktopEdges()));
}

} // namespace tables
