#include "app/create/random_recipe.h"

#include "app/create/recipe_vocabulary.h"

#include <QRandomGenerator>

#include <algorithm>

namespace quorvel::create {

std::size_t uniformIndex(std::size_t count, const RandomWords& words)
{
    Q_ASSERT(count >= 1);
    const std::uint64_t n = count;
    unsigned __int128 product = static_cast<unsigned __int128>(words()) * n;
    auto low = static_cast<std::uint64_t>(product);
    if (low < n) {
        // 2^64 mod n: that many low words would map one extra time onto some indices.
        const std::uint64_t threshold = (0 - n) % n;
        while (low < threshold) {
            product = static_cast<unsigned __int128>(words()) * n;
            low = static_cast<std::uint64_t>(product);
        }
    }
    return static_cast<std::size_t>(product >> 64);
}

std::size_t SystemRandomIndexSource::index(std::size_t count)
{
    return uniformIndex(count, [] { return QRandomGenerator::system()->generate64(); });
}

namespace {

// A source that breaks its contract must still never index past the end of a list.
std::size_t drawIndex(RandomIndexSource& source, std::size_t count)
{
    return std::min(source.index(count), count - 1);
}

const QString& pick(const QStringList& list, RandomIndexSource& source)
{
    return list[static_cast<qsizetype>(drawIndex(source, static_cast<std::size_t>(list.size())))];
}

} // namespace

RandomRecipe drawRandomRecipe(RandomIndexSource& source)
{
    RandomRecipe recipe;
    recipe.style = pick(vocabulary::styles(), source);
    recipe.motion = vocabulary::motions()[drawIndex(source, vocabulary::motions().size())].key;
    recipe.vibe = pick(vocabulary::vibes(), source);
    recipe.prompt = pick(vocabulary::samplePrompts(), source);
    return recipe;
}

} // namespace quorvel::create
