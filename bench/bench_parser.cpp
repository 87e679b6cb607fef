// Parsing a report writer's 40-line SELECT (joins, subqueries, scalar functions, aggregates):
// microseconds per statement, and the heap allocations per statement, counted by the global
// operator new of this program. Once into a fresh tree each time, and into a reused tree (a
// statement prepared again keeps its tree object).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "sql/parser.h"

namespace {

std::atomic<std::int64_t> allocations{0};

const char* const kStatement =
    "SELECT o.[Order ID], o.[Order Date], c.[Company Name], c.[Contact Name] AS Contact,\n"
    "       {fn UCASE(c.City)} AS City, {fn CONCAT(c.Country, ' / ')} region,\n"
    "       p.[Product Name], d.Quantity, d.[Unit Price],\n"
    "       d.Quantity * d.[Unit Price] * (1 - d.Discount) AS [Line Total],\n"
    "       {fn ROUND(d.[Unit Price] * 1.0825, 2)} AS Gross,\n"
    "       {fn DAYNAME(o.[Order Date])} AS Weekday,\n"
    "       {fn TIMESTAMPDIFF(SQL_TSI_DAY, o.[Order Date], o.[Shipped Date])} AS Days,\n"
    "       s.[Shipper Name], e.[Last Name]\n"
    "FROM [Orders bx7q2rwpn] o\n"
    "     INNER JOIN [Customers bx7q2rwpm] c ON o.[Customer ID] = c.[Customer ID]\n"
    "     INNER JOIN [Order Details] d ON d.[Order ID] = o.[Order ID]\n"
    "     LEFT OUTER JOIN [Products] p ON p.[Product ID] = d.[Product ID]\n"
    "     LEFT JOIN [Shippers] s ON s.[Shipper ID] = o.[Ship Via]\n"
    "     LEFT JOIN [Employees] e ON e.[Employee ID] = o.[Employee ID]\n"
    "WHERE o.[Order Date] >= {d '2024-01-01'}\n"
    "  AND o.[Order Date] < {ts '2025-01-01 00:00:00'}\n"
    "  AND c.Country IN ('USA', 'Canada', 'Mexico', 'Brazil', ?)\n"
    "  AND d.Discount BETWEEN 0 AND 0.25\n"
    "  AND (p.Discontinued = 0 OR p.[Units In Stock] > 0)\n"
    "  AND o.Status NOT LIKE 'Cancel%'\n"
    "  AND e.[Last Name] IS NOT NULL\n"
    "  AND o.[Order ID] IN (SELECT x.[Order ID]\n"
    "                     FROM [Order Details] x\n"
    "                     WHERE x.Quantity > ?\n"
    "                       AND x.[Product ID] = d.[Product ID])\n"
    "  AND EXISTS (SELECT *\n"
    "              FROM [Invoices] i\n"
    "              WHERE i.[Order ID] = o.[Order ID]\n"
    "                AND i.Amount >= (SELECT AVG(j.Amount)\n"
    "                                 FROM [Invoices] j\n"
    "                                 WHERE j.[Customer ID] = c.[Customer ID]))\n"
    "  AND {fn LENGTH({fn RTRIM(c.[Postal Code])})} > 3\n"
    "  AND c.Region = ANY (SELECT r.Region FROM [Regions] r WHERE r.Active = 1)\n"
    "  AND o.Freight + 10.50 * 2 <> -1\n"
    "  AND {fn POSITION('Ltd' IN c.[Company Name])} = 0\n"
    "  AND o.[Ship Name] <> USER\n"
    "  AND d.[Unit Price] * d.Quantity >= {fn ABS(-5)}\n"
    "  AND o.[Ship Country] NOT IN ('Narnia', 'Oz')\n"
    "ORDER BY c.[Company Name], o.[Order Date] DESC, 3, {fn UCASE(p.[Product Name])} ASC,\n"
    "         d.Quantity DESC";

void parse(benchmark::State& state, bool reuseTree) {
    const std::string text = kStatement;
    kelvra::ParseTree reused;
    std::int64_t counted = 0;
    for (auto _ : state) {
        const std::int64_t before = allocations.load(std::memory_order_relaxed);
        kelvra::ParseTree fresh;
        kelvra::ParseTree& tree = reuseTree ? reused : fresh;
        kelvra::StatementFacts facts;
        if (kelvra::ParseStatement(text, tree, facts) != kelvra::kMsgNone) {
            state.SkipWithError(("the statement did not parse: " + facts.argument).c_str());
            break;
        }
        benchmark::DoNotOptimize(tree);
        counted += allocations.load(std::memory_order_relaxed) - before;
    }
    state.counters["allocs/stmt"] =
        benchmark::Counter(static_cast<double>(counted), benchmark::Counter::kAvgIterations);
    state.counters["bytes/stmt"] = static_cast<double>(text.size());
}

void parseIntoFreshTree(benchmark::State& state) {
    parse(state, false);
}
void parseIntoReusedTree(benchmark::State& state) {
    parse(state, true);
}
BENCHMARK(parseIntoFreshTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(parseIntoReusedTree)->Unit(benchmark::kMicrosecond);

}  // namespace

// Every allocation of the program is counted. (GCC takes the replaced pair for a mismatch.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
