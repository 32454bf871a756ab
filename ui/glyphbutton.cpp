#include "glyphbutton.h"

#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr qreal kSymbolPointSize = 8.25;

QFont symbolFont(const QString& family)
{
    QFont font(family);
    font.setPointSizeF(kSymbolPointSize);
    font.setBold(true);
    return font;
}

// Fontconfig answers every unknown family with a fallback; only the resolved family tells.
bool isInstalled(const QFont& font, const QString& family)
{
    return QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0;
}

QPainterPath openFolderPath(const QRectF& box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    const QPointF o = box.topLeft();
    QPainterPath back;
    back.moveTo(o + QPointF(0, h));
    back.lineTo(o + QPointF(0, 0.12 * h));
    back.lineTo(o + QPointF(0.32 * w, 0.12 * h));
    back.lineTo(o + QPointF(0.42 * w, 0.28 * h));
    back.lineTo(o + QPointF(0.84 * w, 0.28 * h));
    back.lineTo(o + QPointF(0.84 * w, 0.45 * h));
    QPainterPath flap;
    flap.moveTo(o + QPointF(0, h));
    flap.lineTo(o + QPointF(0.18 * w, 0.45 * h));
    flap.lineTo(o + QPointF(w, 0.45 * h));
    flap.lineTo(o + QPointF(0.82 * w, h));
    flap.closeSubpath();
    back.addPath(flap);
    return back;
}

} // namespace

GlyphButton::GlyphButton(const Symbol& symbol, QWidget* parent)
    : QPushButton(parent)
    , m_glyph(symbol.glyph)
{
    const QFont font = symbolFont(symbol.fontFamily);
    m_usesSymbolFont = isInstalled(font, symbol.fontFamily);
    if (m_usesSymbolFont) {
        setFont(font);
        setText(symbol.text);
    }
    setAccessibleName(symbol.accessibleName);
    setAutoDefault(false);
}

void GlyphButton::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (m_usesSymbolFont) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The glyph is as tall as the capitals of the window's 8.25-point bold text.
    QFont text = font();
    text.setPointSizeF(kSymbolPointSize);
    text.setBold(true);
    const qreal size = QFontMetricsF(text).capHeight() * 1.15;
    QRectF box(0, 0, size, size);
    box.moveCenter(QRectF(rect()).center());
    if (isDown()) {
        box.translate(1, 1);
    }
    drawGlyph(painter, box);
}

void GlyphButton::drawGlyph(QPainter& painter, const QRectF& box) const
{
    const QColor ink = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    switch (m_glyph) {
    case Glyph::OpenFolder: {
        QPen pen(ink, std::max(1.5, box.height() / 7.0));
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(openFolderPath(box));
        break;
    }
    case Glyph::PlayTriangle: {
        const QPointF points[] = {box.topLeft() + QPointF(box.width() * 0.12, 0),
                                  box.bottomLeft() + QPointF(box.width() * 0.12, 0),
                                  QPointF(box.right() - box.width() * 0.05, box.center().y())};
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawPolygon(points, 3);
        break;
    }
    case Glyph::PauseBars: {
        const qreal bar = box.width() * 0.3;
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawRect(QRectF(box.left() + box.width() * 0.1, box.top(), bar, box.height()));
        painter.drawRect(QRectF(box.right() - box.width() * 0.1 - bar, box.top(), bar, box.height()));
        break;
    }
    }
}
