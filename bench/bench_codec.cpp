// Pure functions on the load and save paths, timed with Google Benchmark.
#include "inputs.h"
#include "rtfreader.h"
#include "textcodec.h"

#include <benchmark/benchmark.h>

namespace {

const QByteArray &tenMb()
{
    static const QByteArray bytes = makeDefinitionText(10 * 1024 * 1024);
    return bytes;
}

void decodeAscii10mb(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeText(tenMb()));
    state.SetBytesProcessed(state.iterations() * tenMb().size());
}

void decodeWindows1252_10mb(benchmark::State &state)
{
    QByteArray bytes = tenMb();
    bytes[bytes.size() / 2] = char(0xE9); // one byte that is not UTF-8
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeText(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void decodeUtf8_10mb(benchmark::State &state)
{
    QByteArray bytes = tenMb();
    bytes.prepend("\xC3\xA9");
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeText(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

// UTF-8 with a stray byte in every piece: each piece takes the escaping
// decoder instead of Qt's.
void decodeUtf8StrayBytes_10mb(benchmark::State &state)
{
    QByteArray bytes = tenMb();
    for (qsizetype i = 0; i + 2 < bytes.size(); i += 1024) { // é every KB, 0xFF every 64 KB
        bytes[i] = char(0xC3);
        bytes[i + 1] = char(0xA9);
        if (i % (64 * 1024) == 0)
            bytes[i + 2] = char(0xFF);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeText(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void encodeWindows1252_10mb(benchmark::State &state)
{
    const QString text = decodeText(tenMb()).text;
    for (auto _ : state)
        benchmark::DoNotOptimize(encodeText(text, TextEncoding::Auto, false));
    state.SetBytesProcessed(state.iterations() * tenMb().size());
}

// One paragraph of 64 KB of double-byte text in the file's code page, as
// some writers put Chinese text: raw bytes, no escapes, no paragraph marks.
void readRtfGbkParagraph_64kb(benchmark::State &state)
{
    const QByteArray bytes
        = "{\\rtf1\\ansi\\ansicpg936 " + QByteArray("\xC4\xE3").repeated(32768) + "}";
    for (auto _ : state)
        benchmark::DoNotOptimize(readRtf(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

} // namespace

BENCHMARK(decodeAscii10mb)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeWindows1252_10mb)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeUtf8_10mb)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeUtf8StrayBytes_10mb)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeWindows1252_10mb)->Unit(benchmark::kMillisecond);
BENCHMARK(readRtfGbkParagraph_64kb)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
