#include "ui/pages/Look.hpp"

#include <QEvent>
#include <QLabel>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qrv::ui {

namespace {

double luminance(const QColor& colour)
{
    const auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

class PaletteFollower final : public QObject {
public:
    PaletteFollower(QWidget* widget, std::function<void()> apply) : QObject(widget), apply_(std::move(apply))
    {
        widget->installEventFilter(this);
        apply_();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange)
            apply_();
        return false;
    }

private:
    std::function<void()> apply_;
};

} // namespace

void followPalette(QWidget* widget, std::function<void()> apply)
{
    new PaletteFollower(widget, std::move(apply));
}

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor contrasting(const QColor& colour, std::initializer_list<QColor> backgrounds)
{
    double mean = 0;
    for (const QColor& b : backgrounds)
        mean += luminance(b);
    const bool darkBackground = backgrounds.size() > 0 && mean / static_cast<double>(backgrounds.size()) < 0.18;
    QColor result = colour.toHsl();
    const auto enough = [&] {
        return std::all_of(backgrounds.begin(), backgrounds.end(),
                           [&](const QColor& b) { return contrastRatio(result, b) >= kMarkContrast; });
    };
    // Lightness moves in small steps, keeping the hue; at the ends black or white remain.
    for (int step = 0; step < 100 && !enough(); ++step) {
        const int lightness = std::clamp(result.lightness() + (darkBackground ? 4 : -4), 0, 255);
        if (lightness == result.lightness())
            break;
        result.setHsl(result.hue(), result.saturation(), lightness);
    }
    return result.toRgb();
}

QColor changedMarkerColour(const QPalette& palette)
{
    return contrasting(QColor(0xc0, 0x00, 0x00), {palette.color(QPalette::Window)});
}

QColor differsFrameColour(const QPalette& palette)
{
    return contrasting(QColor(0xe6, 0x95, 0x00),
                       {palette.color(QPalette::Window), palette.color(QPalette::Base),
                        palette.color(QPalette::Button)});
}

QPen differsFramePen(const QPalette& palette)
{
    QPen pen(differsFrameColour(palette), 2, Qt::DashLine);
    pen.setDashPattern({3, 2});
    return pen;
}

bool showStateWords(QLabel* offWord, QLabel* onWord, bool on)
{
    bool changed = false;
    for (auto [word, holds] : {std::pair{offWord, !on}, std::pair{onWord, on}}) {
        if (word->isEnabled() == holds && word->font().bold() == holds)
            continue;
        QFont font = word->font();
        font.setBold(holds);
        word->setFont(font);
        word->setEnabled(holds);
        changed = true;
    }
    return changed;
}

} // namespace qrv::ui
