#pragma once

#include "charts/drawingsurface.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

/// The samples a chart draws: the store, and n, the index of the newest sample (SampleCount).
struct ChartSamples {
    std::span<const float> store;
    int n = 0;
    /// Whether the reading of each sample of the store was valid (non-zero) or stands as 0;
    /// empty when all were valid. The report leaves a gap for an invalid one.
    std::span<const uint8_t> valid{};
};

/// User units of every chart across and down its surface.
inline constexpr float kChartScale = 12000;

/// The time axis of a chart: the label of its right end and where the samples go.
struct TimeAxis {
    QString endLabel;
    /// User units between neighbouring samples; sample k lies at x = 1000 + k * step.
    float step = 0;
    /// Segments of the curve: samples 0..segments are joined, none when 0.
    int segments = 0;
};

/// The trend window's axis for n = SampleCount: the row of the span table, whose step times
/// span is 10000; above 10000 the curve stops at sample 10000.
TimeAxis trendTimeAxis(int n);

/// The report's scale, 10000 / n as a 32-bit float, so sample n lies on the right grid line.
/// Only meaningful for n > 0.
float reportScale(int n);

/// The report's axis for n = SampleCount: the whole recording, labelled with its duration.
TimeAxis reportTimeAxis(int n);

/// What tells the charts apart; everything else is drawn the same way.
struct ChartStyle {
    /// The grid drawn with Line in ForeColor (the trend window's grid is line elements instead).
    bool drawGrid = true;
    /// Top of the 0 KPa label; every label lies 1000 units higher than the one below.
    float labelTop = 10750;
    /// Colours set before the pressure texts and before the time texts; none keeps ForeColor.
    std::optional<Colour> pressureTextColour;
    std::optional<Colour> timeTextColour;
    /// Colour passed with the curve; none draws it in ForeColor.
    std::optional<Colour> curveColour;
    /// DrawWidth set before the curve; 0 leaves it as it is.
    int16_t curveWidth = 0;
    /// A sample whose reading was invalid breaks the curve: no segment touches it, and a valid
    /// sample between two such gaps is drawn as a short dash. Otherwise every sample is joined
    /// as stored.
    bool gapsForInvalid = false;
};

/// How much of the curve a chart draws.
enum class CurveDetail {
    /// Every segment while the samples are no more than the device's pixel columns that the
    /// curve crosses; beyond that, one stroke a column over the curve's range there
    /// (reduceToColumns), which shows the same picture at the cost of the width. What the
    /// program draws.
    ByColumns,
    /// Every segment however many samples there are: the reference the column drawing is
    /// measured against.
    EverySegment,
};

/// Draws the chart of the samples: the grid if the style asks for it, the pressure labels, the
/// axis texts and the curve. Reads only samples 0..axis.segments, and never past the store.
void drawChart(DrawingSurface &surface, const ChartSamples &samples, const ChartStyle &style,
               const TimeAxis &axis, CurveDetail detail = CurveDetail::ByColumns);

/// One tick of the trend window: clears the area and draws the chart on black, cyan pressure
/// texts, green time texts and the yellow 1-pixel curve, every sample as stored.
void drawTrendTick(DrawingSurface &surface, const ChartSamples &samples,
                   CurveDetail detail = CurveDetail::ByColumns);

/// The report window's chart: the user scale, black, the grid and the 2-pixel curve of the
/// whole recording, with a gap for each sample whose reading was invalid.
void drawReportChart(DrawingSurface &surface, const ChartSamples &samples,
                     CurveDetail detail = CurveDetail::ByColumns);

/// The four test details printed above the chart on the report page, and the part tested
/// (a reprinted record's serial and model; empty for none).
struct ReportHeader {
    QString testName;
    QString operatorName;
    QString date;
    QString time;
    QString serial = {};
    QString model = {};
};

/// The printed report page: header texts, then the report chart with its pressure labels 200
/// units lower than on screen. A serial and a model go left of the header texts, where the
/// page is empty above the chart.
void drawReportPage(DrawingSurface &surface, const ChartSamples &samples,
                    const ReportHeader &header);

struct StationRecord;

/// The samples of a station's record, as they stand now.
ChartSamples chartSamplesOf(const StationRecord &record);
