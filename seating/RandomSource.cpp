#include "RandomSource.h"

#include <chrono>

namespace plivan {

void ClockRandomSource::reseed()
{
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    m_engine.seed(static_cast<std::mt19937::result_type>(now ^ (now >> 32)));
}

float ClockRandomSource::next()
{
    // generate_canonical can round up to 1.0 in float; keep the draw below 1.
    const float r = std::generate_canonical<float, 24>(m_engine);
    return r < 1.0f ? r : 0.99999994f;
}

} // namespace plivan
