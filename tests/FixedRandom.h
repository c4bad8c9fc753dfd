#pragma once

// A random source for tests: hands out fixed numbers (0 once they run out)
// and counts how often it was reseeded.

#include "seating/RandomSource.h"

#include <QList>

class FixedRandom : public plivan::RandomSource {
public:
    explicit FixedRandom(QList<float> numbers) : numbers(std::move(numbers)) {}
    void reseed() override { ++reseeds; }
    float next() override { return numbers.value(used++, 0.0f); }

    QList<float> numbers;
    int used = 0;
    int reseeds = 0;
};
