#pragma once

#include "charts/drawingsurface.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

/// A surface that records what is drawn on it, in device units. Its device is 12000 x 12000
/// units by default, so with the charts' 12000 x 12000 user scale device and user units agree.
class RecordingSurface final : public DrawingSurface {
public:
    struct Text {
        QPointF at;
        QString text;
        Colour colour;
    };
    struct Segment {
        QLineF line;
        Colour colour;
        qreal width;
        bool operator==(const Segment &) const = default;
    };

    explicit RecordingSurface(QSizeF size = QSizeF(12000, 12000), qreal lineHeight = 100)
        : m_size(size), m_lineHeight(lineHeight)
    {
    }

    QList<Text> texts;
    QList<Segment> segments;
    int clears = 0;
    int deviceCalls = 0;

    /// The texts drawn, in order.
    QStringList textList() const
    {
        QStringList list;
        for (const Text &t : texts)
            list << t.text;
        return list;
    }

    /// The segments drawn in the given colour.
    QList<Segment> segmentsIn(Colour colour) const
    {
        QList<Segment> list;
        for (const Segment &s : segments)
            if (s.colour == colour)
                list << s;
        return list;
    }

protected:
    QSizeF innerSize() const override { return m_size; }
    qreal pixelSize() const override { return 1; }
    qreal textLineHeight() override { return m_lineHeight; }
    void eraseAll() override
    {
        ++clears;
        texts.clear();
        segments.clear();
    }
    void drawText(QPointF topLeft, const QString &text, Colour colour) override
    {
        ++deviceCalls;
        texts.append({topLeft, text, colour});
    }
    void drawSegments(std::span<const QLineF> lines, Colour colour, qreal width) override
    {
        ++deviceCalls;
        for (const QLineF &l : lines)
            segments.append({l, colour, width});
    }

private:
    QSizeF m_size;
    qreal m_lineHeight;
};
