#pragma once

#include <QPushButton>

/**
 * A command button whose caption is one symbol. The symbol is typed in its symbol font where that
 * exact family is installed; otherwise the same picture is drawn as a vector shape, bold and of
 * the size of the window's 8.25-point text, crisp at every device-pixel ratio.
 */
class GlyphButton final : public QPushButton {
    Q_OBJECT

public:
    enum class Glyph { OpenFolder, PlayTriangle, PauseBars };

    struct Symbol {
        Glyph glyph;
        QString fontFamily; ///< the symbol font, e.g. "Wingdings"
        QString text;       ///< the caption in that font, e.g. "1"
        QString accessibleName;
    };

    GlyphButton(const Symbol& symbol, QWidget* parent = nullptr);

    Glyph glyph() const { return m_glyph; }
    /// Whether the symbol font is really installed and shows the caption.
    bool usesSymbolFont() const { return m_usesSymbolFont; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawGlyph(QPainter& painter, const QRectF& box) const;

    Glyph m_glyph;
    bool m_usesSymbolFont = false;
};
