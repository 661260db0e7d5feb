#include "browser/TypePictures.h"

#include "model/FieldType.h"
#include "ui/Appearance.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace browser {

QPixmap typePicture(int code, qreal dpr, const QPalette& palette)
{
    if (code < 0 || code >= model::kFieldTypeCount)
        code = 0;
    if (dpr < 1.0)
        dpr = 1.0;
    const QSize px(qRound(kTypePictureSize.width() * dpr), qRound(kTypePictureSize.height() * dpr));
    QPixmap pm(px);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);

    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The label: a light grey plate with a darker rim, inset by one pixel so
    // neighbouring rows do not touch. Under a dark palette the plate takes
    // the button colour and the lettering the button text, so the labels
    // sit quietly on the dark tree and stay readable.
    const QRectF plate(0.5, 1.5, kTypePictureSize.width() - 1.0, kTypePictureSize.height() - 3.0);
    const bool structural = code == 1; // the record label stands out a little
    const bool dark = ui::isDark(palette);
    const QColor button = palette.color(QPalette::Button), letters = palette.color(QPalette::ButtonText);
    const QColor face = dark ? (structural ? ui::mix(button, letters, 0.25) : button)
                             : (structural ? QColor(200, 200, 200) : QColor(224, 224, 224));
    p.setPen(QPen(dark ? ui::mix(button, letters, 0.5) : QColor(112, 112, 112), 1.0));
    p.setBrush(face);
    p.drawRoundedRect(plate, 2.5, 2.5);

    const QString text = QString::fromLatin1(model::typeLabel(model::fieldTypeFromCode(code)).data(),
            qsizetype(model::typeLabel(model::fieldTypeFromCode(code)).size()));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(dark ? letters : QColor(32, 32, 32));
    // Long names ("double", "THRUST") are squeezed sideways rather than made
    // smaller, so every label keeps the same letter height.
    const qreal room = plate.width() - 3.0;
    const qreal width = QFontMetricsF(f).horizontalAdvance(text);
    const qreal squeeze = width > room ? room / width : 1.0;
    p.translate(plate.center());
    p.scale(squeeze, 1.0);
    const QRectF box(-width / 2 - 1, -plate.height() / 2, width + 2, plate.height());
    p.drawText(box, Qt::AlignCenter, text);
    p.end();
    return pm;
}

QIcon typeIcon(int code, qreal extraDpr, const QPalette& palette)
{
    QIcon icon;
    icon.addPixmap(typePicture(code, 1.0, palette));
    icon.addPixmap(typePicture(code, 2.0, palette));
    if (extraDpr > 1.0 && !qFuzzyCompare(extraDpr, 2.0))
        icon.addPixmap(typePicture(code, extraDpr, palette));
    return icon;
}

} // namespace browser
