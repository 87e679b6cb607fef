// Scalar functions as the executor calls them once per row: resolved once, then evaluated into
// the same result value again and again. Prints the time per call and the heap allocations per
// call (counted by this program's operator new).
#include <benchmark/benchmark.h>
#include <sqlext.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/scalar_functions.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// The replacement pair allocates with malloc and frees with free, which GCC cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using kelvra::TypeDesc;
using kelvra::Value;
using kelvra::ValueType;

struct Argument {
    Value value;
    TypeDesc type;
};

Argument text(std::string s) {
    const auto size = std::uint32_t(s.size());
    return {Value::ofChar(s), {ValueType::Char, SQL_VARCHAR, size, -1}};
}
Argument integer(double x) {
    return {Value::ofInteger(x), {ValueType::Integer, SQL_INTEGER, 10, 0}};
}
Argument number(double x) {
    return {Value::ofDouble(x), {ValueType::Double, SQL_DOUBLE, 15, -1}};
}
Argument decimal(std::string s) {
    return {Value::ofNumeric(s), {ValueType::Numeric, SQL_DECIMAL, 10, 2}};
}
Argument stamp() {
    return {Value::ofTimestamp({2024, 2, 29, 13, 5, 9, 0}),
            {ValueType::Timestamp, SQL_TIMESTAMP, 23, 3}};
}

void evaluate(benchmark::State& state, const char* name, const char* word,
              std::vector<Argument> args) {
    std::vector<kelvra::ScalarArgument> types;
    std::vector<const Value*> values;
    for (const Argument& a : args) {
        types.push_back({a.type});
        values.push_back(&a.value);
    }
    kelvra::ScalarCall call;
    TypeDesc result;
    std::string message;
    if (kelvra::resolveScalarFunction(name, word, types, 3, call, result, message) != 0) {
        state.SkipWithError("does not resolve");
        return;
    }
    kelvra::RandState rand;
    kelvra::FunctionContext context;
    context.rand = &rand;
    Value out;
    kelvra::evaluateScalarFunction(call, result, values, context, out, message);  // warm
    const long before = allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            kelvra::evaluateScalarFunction(call, result, values, context, out, message));
    }
    state.counters["allocs/call"] =
        double(allocations.load() - before) / double(std::max<long>(1, state.iterations()));
}

const std::string kLine = "Quarterly report: Müller & Søn, Göteborg — 2024";

BENCHMARK_CAPTURE(evaluate, length, "LENGTH", "", {text(kLine)});
BENCHMARK_CAPTURE(evaluate, substring, "SUBSTRING", "", {text(kLine), integer(20), integer(12)});
BENCHMARK_CAPTURE(evaluate, ucase, "UCASE", "", {text(kLine)});
BENCHMARK_CAPTURE(evaluate, concat, "CONCAT", "", {text(kLine), text(kLine)});
BENCHMARK_CAPTURE(evaluate, locate, "LOCATE", "", {text("Göteborg"), text(kLine)});
BENCHMARK_CAPTURE(evaluate, replace, "REPLACE", "", {text(kLine), text("ö"), text("oe")});
BENCHMARK_CAPTURE(evaluate, soundex, "SOUNDEX", "", {text("Richardson")});
BENCHMARK_CAPTURE(evaluate, roundDouble, "ROUND", "", {number(1234.5678), integer(2)});
BENCHMARK_CAPTURE(evaluate, roundNumeric, "ROUND", "", {decimal("1234.56"), integer(1)});
BENCHMARK_CAPTURE(evaluate, sqrt, "SQRT", "", {number(2)});
BENCHMARK_CAPTURE(evaluate, rand, "RAND", "", {});
BENCHMARK_CAPTURE(evaluate, week, "WEEK", "", {stamp()});
BENCHMARK_CAPTURE(evaluate, dayname, "DAYNAME", "", {stamp()});
BENCHMARK_CAPTURE(evaluate, timestampAdd, "TIMESTAMPADD", "SQL_TSI_MONTH", {integer(1), stamp()});
BENCHMARK_CAPTURE(evaluate, timestampDiff, "TIMESTAMPDIFF", "SQL_TSI_DAY", {stamp(), stamp()});
BENCHMARK_CAPTURE(evaluate, ifnullText, "IFNULL", "", {text(kLine), text("none")});
BENCHMARK_CAPTURE(evaluate, convertDoubleToChar, "CONVERT", "SQL_CHAR", {number(1234.5)});
BENCHMARK_CAPTURE(evaluate, convertTextToInteger, "CONVERT", "SQL_INTEGER", {text("12345")});
BENCHMARK_CAPTURE(evaluate, convertTimestampToChar, "CONVERT", "SQL_VARCHAR", {stamp()});

}  // namespace
