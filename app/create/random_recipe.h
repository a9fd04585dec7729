#pragma once
// The "roll the dice" recipe: one independent uniform draw per list, in a fixed order.

#include <QString>

#include <cstdint>
#include <functional>

namespace quorvel::create {

// A source of 64-bit random words.
using RandomWords = std::function<std::uint64_t()>;

// Uniform index in [0, count) from 64-bit words: the high word of word × count, rejecting the few
// low words that would favour some indices (no modulo bias). count must be at least 1.
std::size_t uniformIndex(std::size_t count, const RandomWords& words);

// Where the draws come from; tests script it, the product reads the system's secure generator.
class RandomIndexSource {
public:
    virtual ~RandomIndexSource() = default;
    // Uniform in [0, count); count >= 1.
    virtual std::size_t index(std::size_t count) = 0;
};

// Over QRandomGenerator::system() (the operating system's cryptographic source).
class SystemRandomIndexSource final : public RandomIndexSource {
public:
    std::size_t index(std::size_t count) override;
};

struct RandomRecipe {
    QString style;
    QString motion;
    QString vibe;
    QString prompt; // always one of the sample prompts, verbatim
};

// Draws style, motion, vibe and prompt in that order; repeats of the current values are allowed.
// The tier and the handle are not part of the draw.
RandomRecipe drawRandomRecipe(RandomIndexSource& source);

} // namespace quorvel::create
