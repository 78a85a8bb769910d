// Conversion speed against memcpy of the same input, measured in one run.
#include "conversion/convert.h"
#include "conversion/conversion_path.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

using namespace zimbrots;

namespace {

// Latvian prose, UTF-8.
constexpr const char* Prose =
    "Zimbrots ir neliela programma teksta pārveidošanai hakeru rakstībā. Lietotājs ieraksta "
    "vai ielīmē tekstu, nospiež pogu, un burti pārvēršas ciparos un pieturzīmēs. Šķiet, ka "
    "ģimenē visi to lieto: vecmāmiņa raksta vēstules, bērni čato ar draugiem, tētis žēlojas "
    "par ļoti garām rindām. Ūdens, ņaudēt, čūska, žagata, ķirbis, ģērbties.\r\n";

std::string Utf8Prose(std::size_t size)
{
    std::string text;
    while (text.size() < size)
        text += Prose;
    return text;
}

// The same prose in Windows-1257 bytes.
std::string Windows1257Prose(std::size_t size)
{
    const std::u16string latvian = u"āčēģīķļņšūžĀČĒĢĪĶĻŅŠŪŽ";
    const char bytes[] = "\xE2\xE8\xE7\xEC\xEE\xED\xEF\xF2\xF0\xFB\xFE\xC2\xC8\xC7\xCC\xCE\xCD\xCF\xD2\xD0\xDB\xDE";
    const std::string utf8 = Utf8Prose(size);
    std::string text;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            text += utf8[i++];
            continue;
        }
        const char16_t c = char16_t(((b & 0x1F) << 6) | (utf8[i + 1] & 0x3F));
        text += bytes[latvian.find(c)];
        i += 2;
    }
    return text;
}


void BM_Memcpy(benchmark::State& state)
{
    const std::string input = Windows1257Prose(std::size_t(state.range(0)));
    std::string copy(input.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), input.data(), input.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.size()));
}
// 4 MiB stays in this machine's cache; 64 MiB does not.
BENCHMARK(BM_Memcpy)->Arg(4 << 20)->Arg(64 << 20);

// The second argument chooses the path: 0 scalar, 1 AVX2, 2 AVX-512 with VBMI2, 3 NEON. The best path
// is taken again afterwards.
struct ForcedPath {
    explicit ForcedPath(benchmark::State& state)
    {
        const auto path = static_cast<ConversionPath>(state.range(1));
        usable = UseConversionPath(path);
        if (!usable)
            state.SkipWithError("this processor lacks the path");
    }
    ~ForcedPath() { UseConversionPath(BestConversionPath()); }
    bool usable;
};

void PathArguments(benchmark::internal::Benchmark* b)
{
    std::vector<std::int64_t> paths;
    for (const ConversionPath path : AllConversionPaths)
        paths.push_back(std::int64_t(path));
    b->ArgsProduct({{4 << 20, 64 << 20}, paths})->ArgNames({"bytes", "path"});
}

void BM_ConvertToHacker(benchmark::State& state)
{
    const ForcedPath path(state);
    if (!path.usable)
        return;
    const std::string input = Windows1257Prose(std::size_t(state.range(0)));
    std::string work;
    for (auto _ : state) {
        work = input;  // the copy is counted too: it is part of what the window does
        ConvertToHacker(work);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.size()));
}
BENCHMARK(BM_ConvertToHacker)->Apply(PathArguments);

// The filter's form of the Windows-1257 pass: converted into another buffer.
void BM_AppendConvertedWindows1257(benchmark::State& state)
{
    const ForcedPath path(state);
    if (!path.usable)
        return;
    const std::string input = Windows1257Prose(std::size_t(state.range(0)));
    std::string out;
    for (auto _ : state) {
        out.clear();
        AppendConvertedWindows1257(input, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.size()));
}
BENCHMARK(BM_AppendConvertedWindows1257)->Apply(PathArguments);

void BM_ConvertUtf8(benchmark::State& state)
{
    const ForcedPath path(state);
    if (!path.usable)
        return;
    const std::string input = Utf8Prose(std::size_t(state.range(0)));
    for (auto _ : state) {
        std::string out = ConvertUtf8(input);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.size()));
}
BENCHMARK(BM_ConvertUtf8)->Apply(PathArguments);

// The filter's form of the UTF-8 pass: 256 KiB pieces, as it reads them, streamed into a
// buffer that is reused.
void BM_Utf8StreamConverter(benchmark::State& state)
{
    const ForcedPath path(state);
    if (!path.usable)
        return;
    const std::string input = Utf8Prose(std::size_t(state.range(0)));
    std::string out;
    for (auto _ : state) {
        out.clear();
        Utf8StreamConverter converter;
        for (std::size_t at = 0; at < input.size(); at += 256 * 1024)
            converter.Convert(std::string_view(input).substr(at, 256 * 1024), out);
        converter.Finish(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.size()));
}
BENCHMARK(BM_Utf8StreamConverter)->Apply(PathArguments);

void BM_ConvertUtf16(benchmark::State& state)
{
    const std::string utf8 = Utf8Prose(std::size_t(state.range(0)));
    std::u16string input;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            input += char16_t(b);
            ++i;
        } else {
            input += char16_t(((b & 0x1F) << 6) | (utf8[i + 1] & 0x3F));
            i += 2;
        }
    }
    for (auto _ : state) {
        std::u16string out = ConvertUtf16(input);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.size() * 2));
}
BENCHMARK(BM_ConvertUtf16)->Arg(4 << 20)->Arg(64 << 20);

// The console's table with one more column: each pass's bytes a second as a share of
// BM_Memcpy's at the same size in this run, so that runs on busy or idle machines compare.
class OfMemcpyReporter : public benchmark::ConsoleReporter {
public:
    OfMemcpyReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        std::vector<Run> shown = runs;
        for (Run& run : shown) {
            const auto rate = run.counters.find("bytes_per_second");
            if (rate == run.counters.end())
                continue;
            const std::string name = run.benchmark_name();
            const std::size_t size = SizeOf(name);
            if (name.rfind("BM_Memcpy/", 0) == 0)
                memcpyRate_[size] = rate->second.value;
            else if (const auto memcpy = memcpyRate_.find(size); memcpy != memcpyRate_.end())
                run.counters["of_memcpy"] = benchmark::Counter(rate->second.value / memcpy->second);
        }
        ConsoleReporter::ReportRuns(shown);
    }

private:
    // The size argument: "BM_Memcpy/4194304" or "BM_ConvertUtf8/bytes:4194304/path:2".
    static std::size_t SizeOf(std::string_view name)
    {
        std::string_view rest = name.substr(name.find('/') + 1);
        if (rest.rfind("bytes:", 0) == 0)
            rest.remove_prefix(6);
        return std::strtoull(std::string(rest.substr(0, rest.find('/'))).c_str(), nullptr, 10);
    }
    std::map<std::size_t, double> memcpyRate_;
};

}  // namespace

int main(int argc, char** argv)
{
    // Other formats (JSON for bench/web_bench.py) are left as they are.
    bool console = true;
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).rfind("--benchmark_format=", 0) == 0 &&
            std::string_view(argv[i]) != "--benchmark_format=console")
            console = false;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    OfMemcpyReporter reporter;
    if (console)
        benchmark::RunSpecifiedBenchmarks(&reporter);
    else
        benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
