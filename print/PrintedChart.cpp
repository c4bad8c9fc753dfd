#include "PrintedChart.h"

#include "app/WindowState.h"

namespace plivan {

void ComposeChart(WindowState &, DrawingSurface &)
{
}

QString PrintChart(WindowState &, const QString &)
{
    return {};
}

} // namespace plivan
