#include "tables/CurveKeys.h"

namespace tables {

std::optional<CurveKey> curveKeyFor(int key, Qt::KeyboardModifiers mods)
{
    switch (key) {
    case Qt::Key_Left:
        return CurveKey::Prev;
    case Qt::Key_Right:
        return CurveKey::Next;
    case Qt::Key_Up:
        return CurveKey::Up1;
    case Qt::Key_Down:
        return CurveKey::Down1;
    default:
        break;
    }
    if (!(mods & Qt::KeypadModifier))
        return std::nullopt;
    switch (key) {
    case Qt::Key_4:
        return CurveKey::Prev;
    case Qt::Key_6:
        return CurveKey::Next;
    case Qt::Key_7:
        return CurveKey::Up10;
    case Qt::Key_8:
        return CurveKey::Up100;
    case Qt::Key_9:
        return CurveKey::Up1000;
    case Qt::Key_1:
        return CurveKey::Down10;
    case Qt::Key_2:
        return CurveKey::Down100;
    case Qt::Key_3:
        return CurveKey::Down1000;
    default:
        return std::nullopt;
    }
}

int curveKeyStep(CurveKey action)
{
    switch (action) {
    case CurveKey::Up1:
        return 1;
    case CurveKey::Up10:
        return 10;
    case CurveKey::Up100:
        return 100;
    case CurveKey::Up1000:
        return 1000;
    case CurveKey::Down1:
        return -1;
    case CurveKey::Down10:
        return -10;
    case CurveKey::Down100:
        return -100;
    case CurveKey::Down1000:
        return -1000;
    case CurveKey::Prev:
    case CurveKey::Next:
        break;
    }
    return 0;
}

} // namespace tables
