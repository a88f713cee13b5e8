#include "report/logaxis.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// 1 nA to 1 A: the board's modes span the lower decades, and a fast
// meter's peaks reach the top one.
constexpr int lowestDecade = -9;
constexpr int highestDecade = 0;

} // namespace

LogAxis LogAxis::fit(const QList<double> &amperes)
{
    LogAxis axis;
    QList<double> positive;
    for (double value : amperes) {
        if (value > 0)
            positive << value;
    }
    if (positive.isEmpty())
        return axis;
    const auto [low, high] = std::minmax_element(positive.cbegin(), positive.cend());
    // A little slack, so that 1.0000001 µA does not open a decade of its own.
    axis.first = std::clamp(int(std::floor(std::log10(*low) + 1e-9)), lowestDecade, highestDecade - 1);
    axis.last = std::clamp(int(std::ceil(std::log10(*high) - 1e-9)), axis.first + 1, highestDecade);
    return axis;
}

LogAxis LogAxis::withDecadeBelow() const
{
    LogAxis wider = *this;
    wider.first = std::max(lowestDecade, first - 1);
    return wider;
}

QList<int> LogAxis::decades() const
{
    QList<int> all;
    for (int decade = first; decade <= last; ++decade)
        all << decade;
    return all;
}

QString LogAxis::label(int decade)
{
    static const std::array<const char *, 4> units = {{"nA", "\u00b5A", "mA", "A"}};
    const int fromNano = decade + 9;
    const int unit = std::clamp(fromNano / 3, 0, int(units.size()) - 1);
    const int multiple = int(std::lround(std::pow(10, fromNano - unit * 3)));
    return QString::number(multiple) + QLatin1Char(' ') + QString::fromUtf8(units[size_t(unit)]);
}

int LogAxis::side(double amperes) const
{
    if (amperes <= 0 || std::log10(amperes) < first - 1e-9)
        return -1;
    return std::log10(amperes) > last + 1e-9 ? 1 : 0;
}

double LogAxis::position(double amperes) const
{
    if (amperes <= 0)
        return 0;
    return std::clamp((std::log10(amperes) - first) / (last - first), 0.0, 1.0);
}
