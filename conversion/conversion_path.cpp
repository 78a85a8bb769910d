// The choice of path: the processor's best once at start, or the one a test or benchmark asks for.
#include "conversion_path.h"

#include "vector_passes.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string_view>

namespace zimbrots {

namespace vector_detail {

const VectorPasses* PassesOf(ConversionPath path)
{
    switch (path) {
#if defined(__x86_64__)
    case ConversionPath::Avx512Vbmi2:
        return &Avx512Passes;
    case ConversionPath::Avx2:
        return &Avx2Passes;
#endif
#if defined(ZIMBROTS_NEON_PASSES)
    case ConversionPath::Neon:
        return &NeonPasses;
#endif
    default:
        return nullptr;
    }
}

namespace {

// Made on first use, so that a conversion in another file's start-up finds it.
std::atomic<ConversionPath>& Current()
{
    static std::atomic<ConversionPath> path{BestConversionPath()};
    return path;
}

}  // namespace

const VectorPasses* Passes() { return PassesOf(Current().load(std::memory_order_relaxed)); }

}  // namespace vector_detail

namespace {

#if defined(__x86_64__)
// Every feature a path may name, and how to ask the processor for it (the builtin wants the
// name as it stands in the source).
struct CpuFeature {
    std::string_view name;
    bool (*present)();
};
#define ZIMBROTS_FEATURE(name) {name, [] { return bool(__builtin_cpu_supports(name)); }}
constexpr CpuFeature KnownFeatures[] = {
    ZIMBROTS_FEATURE("avx2"),       ZIMBROTS_FEATURE("avx512f"),     ZIMBROTS_FEATURE("avx512bw"),
    ZIMBROTS_FEATURE("avx512vl"),   ZIMBROTS_FEATURE("avx512vbmi"), ZIMBROTS_FEATURE("avx512vbmi2"),
    ZIMBROTS_FEATURE("popcnt"),
};
#undef ZIMBROTS_FEATURE

const CpuFeature* FeatureNamed(std::string_view name)
{
    const auto known = std::find_if(std::begin(KnownFeatures), std::end(KnownFeatures),
                                    [name](const CpuFeature& feature) { return feature.name == name; });
    return known == std::end(KnownFeatures) ? nullptr : known;
}
#endif

// Whether each name of a comma-separated list passes the test.
template <typename Test>
bool EveryFeature(std::string_view features, Test test)
{
    while (!features.empty()) {
        const std::size_t comma = features.find(',');
        if (!test(features.substr(0, comma)))
            return false;
        features.remove_prefix(comma == std::string_view::npos ? features.size() : comma + 1);
    }
    return true;
}

// Whether the processor has every feature of the list; a name not known here counts as missing.
bool HasAll(std::string_view features)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    return EveryFeature(features, [](std::string_view name) {
        const CpuFeature* feature = FeatureNamed(name);
        return feature && feature->present();
    });
#else
    return features.empty();
#endif
}

}  // namespace

bool vector_detail::KnowsAllFeatures(std::string_view features)
{
#if defined(__x86_64__)
    return EveryFeature(features, [](std::string_view name) { return FeatureNamed(name) != nullptr; });
#else
    return features.empty();
#endif
}

bool ProcessorHas(ConversionPath path)
{
    if (path == ConversionPath::Scalar)
        return true;
    const vector_detail::VectorPasses* passes = vector_detail::PassesOf(path);
    return passes && HasAll(passes->features);
}

ConversionPath BestConversionPath()
{
    static const ConversionPath best = [] {
        for (const ConversionPath path : {ConversionPath::Avx512Vbmi2, ConversionPath::Avx2, ConversionPath::Neon})
            if (ProcessorHas(path))
                return path;
        return ConversionPath::Scalar;
    }();
    return best;
}

ConversionPath CurrentConversionPath() { return vector_detail::Current().load(std::memory_order_relaxed); }

bool UseConversionPath(ConversionPath path)
{
    if (!ProcessorHas(path))
        return false;
    vector_detail::Current().store(path, std::memory_order_relaxed);
    return true;
}

}  // namespace zimbrots
