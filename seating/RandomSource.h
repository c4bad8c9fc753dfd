#pragma once

#include <random>

namespace plivan {

// Numbers uniform in [0, 1) for random seating, reseeded from the clock at
// every use. Tests hand in their own numbers.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void reseed() = 0;
    virtual float next() = 0;
};

class ClockRandomSource : public RandomSource {
public:
    void reseed() override;
    float next() override;

private:
    std::mt19937 m_engine;
};

} // namespace plivan
