#pragma once

#include <QLineF>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

class QColor;

/// A 24-bit colour: red + 256 * green + 65536 * blue.
using Colour = int32_t;

/// The colour of the given components, each 0..255.
constexpr Colour RGB(int r, int g, int b)
{
    return (r & 0xff) | ((g & 0xff) << 8) | ((b & 0xff) << 16);
}

/// The same colour as a QColor.
QColor toQColor(Colour colour);

/// The drawing operations the charts use, over a surface with a user scale laid across its
/// inner area (origin top left, x to the right up to ScaleWidth, y downward up to ScaleHeight).
/// User units need not be square: points are mapped here, so text and pen widths never scale
/// with the user scale. Back ends supply the device: a picture area or a printer page.
class DrawingSurface {
public:
    virtual ~DrawingSurface();

    DrawingSurface(const DrawingSurface &) = delete;
    DrawingSurface &operator=(const DrawingSurface &) = delete;

    /// User units across and down the inner area. Zero (the start) means device units.
    float ScaleWidth = 0;
    float ScaleHeight = 0;
    /// Colour of later text and of lines drawn without a colour of their own.
    Colour ForeColor = 0;
    /// Width of later lines in pixels (a screen pixel, 1/96 inch on paper); below 1 counts as 1.
    int16_t DrawWidth = 1;
    /// Top-left corner of the next text, in user units.
    float CurrentX = 0;
    float CurrentY = 0;

    /// Erases all drawing to the background and puts the position back at the origin.
    void cls();
    /// Writes the text unchanged at the current position in ForeColor, then moves to the start
    /// of the next text line.
    void print(const QString &text);
    /// Writes an Integer as blank (or minus), digits, blank, like print().
    void printInteger(int value);
    /// A straight segment between two absolute points in ForeColor, DrawWidth wide.
    void line(float x1, float y1, float x2, float y2);
    /// The same in the given colour; ForeColor is left unchanged.
    void line(float x1, float y1, float x2, float y2, Colour colour);
    /// One segment between each pair of neighbouring points, in order: the same picture as
    /// line() for each pair, drawn with one device call.
    void polyline(std::span<const QPointF> points);
    /// The same in the given colour.
    void polyline(std::span<const QPointF> points, Colour colour);
    /// Separate polylines over one list of points, in the given colour: each ends before the
    /// position its entry of `ends` gives and the next begins there, and nothing joins one to
    /// the next. All are drawn with one device call; a polyline of one point draws nothing.
    void polylines(std::span<const QPointF> points, std::span<const int> ends, Colour colour);

    /// The device point of a user point (for tests and line elements).
    QPointF toDevice(QPointF user) const;
    /// The inner area in device units.
    QSizeF deviceSize() const { return innerSize(); }
    /// One DrawWidth pixel across, in user units.
    qreal pixelWidth() const;
    /// One pixel column of the device's raster across, in user units: a pixel of a picture
    /// area's image (finer than a logical pixel on a dense screen), a dot of a printer page.
    qreal columnWidth() const;

protected:
    DrawingSurface() = default;

    /// Size of the inner area in device units.
    virtual QSizeF innerSize() const = 0;
    /// Device units per DrawWidth pixel.
    virtual qreal pixelSize() const = 0;
    /// Raster pixels per device unit across: 1 unless the device holds finer pixels.
    virtual qreal rasterPixelsPerUnit() const { return 1.0; }
    /// Height of one text line in device units.
    virtual qreal textLineHeight() = 0;
    virtual void eraseAll() = 0;
    /// Text with its top-left corner at the device point.
    virtual void drawText(QPointF topLeft, const QString &text, Colour colour) = 0;
    /// Separate segments, each drawn as on its own, penWidth device units wide.
    virtual void drawSegments(std::span<const QLineF> segments, Colour colour, qreal penWidth) = 0;

private:
    QSizeF deviceUnitsPerUserUnit() const;
    void drawPolylinesIn(std::span<const QPointF> points, std::span<const int> ends, Colour colour);
    qreal penWidth() const;

    // Reused between calls so batched drawing allocates nothing per segment.
    std::vector<QLineF> m_segments;
};
