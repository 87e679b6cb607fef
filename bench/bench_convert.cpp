// The conversions every fetched row goes through: number text, date parsing, decimal
// arithmetic and a double into a character buffer.
#include <benchmark/benchmark.h>

#include <string>

#include "convert/datetime_text.h"
#include "convert/number_text.h"
#include "convert/numeric_text.h"
#include "convert/result_convert.h"

namespace {

void formatDouble(benchmark::State& state) {
    double value = 1234.5678;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelvra::numberText(value));
        value += 0.25;
    }
}
BENCHMARK(formatDouble);

void parseTimestampText(benchmark::State& state) {
    const std::string text = "{ts '2024-02-29 13:05:09.123'}";
    kelvra::TimestampValue ts;
    for (auto _ : state) benchmark::DoNotOptimize(kelvra::parseTimestamp(text, ts));
}
BENCHMARK(parseTimestampText);

void multiplyDecimalTexts(benchmark::State& state) {
    std::string out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelvra::numericArithmetic(
            "-12345678.9012", kelvra::NumericOp::Multiply, "987.65", 19, 4, out));
    }
}
BENCHMARK(multiplyDecimalTexts);

void doubleIntoCharBuffer(benchmark::State& state) {
    const double value = 98765.4321;
    char buffer[32];
    SQLLEN length;
    const kelvra::SqlSource source{SQL_DOUBLE, false, &value, 8};
    const kelvra::ClientBuffer target{SQL_C_CHAR, buffer, sizeof buffer, &length};
    for (auto _ : state) benchmark::DoNotOptimize(kelvra::convertResult(source, target));
}
BENCHMARK(doubleIntoCharBuffer);

}  // namespace
