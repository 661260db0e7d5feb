#pragma once
// A table target over a plain byte vector whose state outlives the window,
// and the helpers the window tests share.
#include "tables/TableRegistry.h"
#include "tests/common/IsolatedSettings.h"
#include "tests/common/MessageRecorder.h"

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QStringList>

#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct TargetState {
    std::vector<std::uint8_t> bytes;
    int stores = 0;
    bool modified = false;
    QString refuse; // non-empty: store() refuses with this text
    std::optional<std::vector<std::uint8_t>> reference; // the compared file's counterpart
};

class FakeTarget : public tables::TableTarget {
public:
    explicit FakeTarget(std::shared_ptr<TargetState> s) : s_(std::move(s)) {}
    std::vector<std::uint8_t> bytes() const override { return s_->bytes; }
    QString name() const override { return QStringLiteral("rec12"); }
    bool store(const std::vector<std::uint8_t>& b, QString* error) override
    {
        if (!s_->refuse.isEmpty()) {
            *error = s_->refuse;
            return false;
        }
        s_->bytes = b;
        ++s_->stores;
        return true;
    }
    void markModified() override { s_->modified = true; }
    std::optional<tables::TableReference> reference() const override
    {
        if (!s_->reference)
            return std::nullopt;
        return tables::TableReference{*s_->reference, QStringLiteral("old.air")};
    }

private:
    std::shared_ptr<TargetState> s_;
};

inline std::shared_ptr<TargetState> stateWith(std::vector<std::uint8_t> bytes)
{
    auto s = std::make_shared<TargetState>();
    s->bytes = std::move(bytes);
    return s;
}

inline std::unique_ptr<tables::TableTarget> targetOn(const std::shared_ptr<TargetState>& s)
{
    return std::make_unique<FakeTarget>(s);
}

inline void putPlacement(const QString& section, int left, int top, int right, int bottom)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    s.beginGroup(section);
    s.setValue(QStringLiteral("Left"), left);
    s.setValue(QStringLiteral("Top"), top);
    s.setValue(QStringLiteral("Right"), right);
    s.setValue(QStringLiteral("Bottom"), bottom);
}

inline int storedPlacement(const QString& section, const QString& key)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    return s.value(section + u'/' + key, -12345).toInt();
}

// The outer rectangle of a shown window, frame included, as the settings
// store it; and the screen's free area it must lie in.
inline QRect storedRect(const QString& section)
{
    const int l = storedPlacement(section, QStringLiteral("Left")), t = storedPlacement(section, QStringLiteral("Top"));
    return QRect(l, t, storedPlacement(section, QStringLiteral("Right")) - l,
                 storedPlacement(section, QStringLiteral("Bottom")) - t);
}
inline QRect freeArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

inline void clearPlacement(const QString& section)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    s.remove(section);
}

// The little-endian double at byte off (read here, not through the code under test).
inline double f64At(const std::vector<std::uint8_t>& b, std::size_t off)
{
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u |= std::uint64_t(b.at(off + i)) << (8 * i);
    return std::bit_cast<double>(u);
}

// Runs the deleteLater() of closed windows.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What every window test starts and ends with, called from its init() and
// cleanup(): no remembered placement for the windows' settings sections and
// no messages yet; afterwards every table window gone, so nothing one test
// left open reaches the next.
class WindowTestSession {
public:
    explicit WindowTestSession(QStringList sections) : sections_(std::move(sections)) {}

    void init()
    {
        for (const QString& section : std::as_const(sections_))
            clearPlacement(section);
        boxes.told.clear();
        boxes.tones.clear();
    }
    void cleanup()
    {
        for (tables::TableFrame* w : tables::TableRegistry::openWindows())
            w->abandon();
        flushDeletes();
    }

    testsupport::MessageRecorder boxes;

private:
    QStringList sections_;
};
