// The sort order text language, the record comparison and the external sort: key types,
// NULL markers, the exact tie-break, DUPO, sequence order, failures, and a randomized check
// against std::stable_sort with the same comparison, in memory and through runs on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "engine/sort_file.h"
#include "engine/sort_spec.h"
#include "sort_test_support.h"
#include "sql/sort_layout.h"

namespace kelvra {
namespace {

std::string keys(int count) {
    std::string text = "S(";
    for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(i + 1) + ",1,C,A";
    return text + ")F(FIX,30)";
}

TEST(SortSpec, ParsesOrRefuses) {
    const struct {
        std::string text;
        MsgNo expected;
        std::size_t keys;
        std::uint32_t length;
    } cases[] = {
        {"S(1,10,C,D,12,8,E,A)F(FIX,24)W(/tmp/)", kMsgNone, 2, 24},
        {"S(1,3,C,A)DUPO(B9,1,9)W(/odd)dir(/)F(FIX,9)", kMsgNone, 1, 9},
        {" S(1,3,C,A) F(FIX,3)?", kMsgNone, 1, 3},           // stray characters between elements
        {"S(1,3,C,A)DUPO(B3,1,3)F(FIX,3)", kMsgNone, 1, 3},  // a key without a marker
        {"S()F(FIX,5)", kMsgNone, 0, 5},
        {keys(20), kMsgNone, 20, 30},
        {"S(1,3,C,A)", kMsgOrderByUnable, 0, 0},          // no record length
        {"S(0,3,C,A)F(FIX,5)", kMsgOrderByUnable, 0, 0},  // positions are 1-based
        {"S(3,4,C,A)F(FIX,5)", kMsgOrderByUnable, 0, 0},  // beyond the record
        {"S(1,4,E,A)F(FIX,5)", kMsgOrderByUnable, 0, 0},  // a double is 8 bytes
        {"S(1,3,C,A)F(FIX,5)DUPO(B5,4,3)", kMsgOrderByUnable, 0, 0},
        {"S(1,3,C)F(FIX,5)", kMsgOrderByUnable, 0, 0},
        {"S(1,99999999999,C,A)F(FIX,5)", kMsgOrderByUnable, 0, 0},
    };
    for (const auto& c : cases) {
        SortSpec sortSpec;
        EXPECT_EQ(parseSortSpec(c.text, sortSpec), c.expected) << c.text;
        if (c.expected != kMsgNone) continue;
        EXPECT_EQ(sortSpec.keys.size(), c.keys) << c.text;
        EXPECT_EQ(sortSpec.recordLength, c.length) << c.text;
    }
}

TEST(SortSpec, LayoutTrimsWideTextKeys) {
    const RecordLayout layout = sortLayout("S(1,40,C,A,42,8,E,A,51,10,C,A,62,33,W,D)F(FIX,96)", 96);
    ASSERT_EQ(layout.trimmed().size(), 2u);  // the narrow text key and the double stay whole
    EXPECT_EQ(layout.trimmed()[0].offset, 0u);
    EXPECT_EQ(layout.trimmed()[1].offset, 61u);
    EXPECT_TRUE(sortLayout("S(1,40,C,A)F(FIX,41)", 50).storesAsIs());  // not the order's length
    EXPECT_TRUE(sortLayout("S(1,40,C", 50).storesAsIs());
}

std::string doubleKey(double value, char marker = kValueMarker) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes + marker;
}

TEST(SortSpec, ComparesByKeyTypeNullAndTieBreak) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* sortSpec;
        std::string a;
        std::string b;
        int expected;  // sign of compareRecords(a, b)
    } cases[] = {
        // Numeric text (more in SortsByTheSpecification): negative values reverse the bytes.
        {"S(1,4,N,A)F(FIX,5)", "-3.5 ", "-3.2 ", -1},
        {"S(1,4,N,D)F(FIX,5)", "10   ", "9    ", -1},
        // Text ignores ASCII case for the key; the exact bytes only break the tie.
        {"S(1,3,C,A,5,1,C,D)F(FIX,6)", "abc z ", "ABC a ", -1},
        {"S(1,3,W,A)F(FIX,4)", "abd ", "ABC ", 1},
        {"S(1,3,C,A)F(FIX,4)", "abc ", "abc ", 0},
        {"S(1,2,C,A)F(FIX,3)", "\xC3\xA9 ", "z  ", 1},  // other bytes compare unsigned
        // Doubles numerically; NaN after every number.
        {"S(1,8,E,A)F(FIX,9)", doubleKey(-1.5), doubleKey(2), -1},
        {"S(1,8,E,A)F(FIX,9)", doubleKey(nan), doubleKey(1e308), 1},
        {"S(1,8,E,D)F(FIX,9)", doubleKey(-1.5), doubleKey(2), 1},
        // NULL before every value ascending, after them descending, its bytes ignored.
        {"S(1,3,C,A)F(FIX,4)", "zzz ", "   N", 1},
        {"S(1,3,C,D)F(FIX,4)", "zzz ", "   N", -1},
        {"S(1,8,E,A,10,1,C,A)F(FIX,11)", doubleKey(-1e308) + "b ", doubleKey(5, 'N') + "a ", 1},
        {"S(1,4,N,A)F(FIX,5)", "-9   ", "    N", 1},
        // Unknown key types compare equal; the bytes then decide.
        {"S(1,1,X,A,3,1,C,A)F(FIX,4)", "b a ", "a b ", -1},
        // With DUPO the DUPO bytes are compared after the keys.
        {"S(1,1,C,A)DUPO(B4,3,2)F(FIX,4)", "a xy", "A xx", 1},
    };
    for (const auto& c : cases) {
        SortSpec sortSpec;
        ASSERT_EQ(parseSortSpec(c.sortSpec, sortSpec), kMsgNone) << c.sortSpec;
        const RecordLayout layout(sortSpec.recordLength);
        const int result = compareRecords(sortSpec, layout, c.a.data(), c.b.data());
        EXPECT_EQ((result > 0) - (result < 0), c.expected) << c.sortSpec << " [" << c.a << "]";
        const int reverse = compareRecords(sortSpec, layout, c.b.data(), c.a.data());
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.expected) << c.sortSpec << " reversed";
    }
}

class SortFileTest : public TempDirTest {
  protected:
    // Sorts `rows` in place and returns the records that come out.
    std::vector<std::string> sorted(const std::string& sortSpec,
                                    const std::vector<std::string>& rows, std::size_t length) {
        auto file = makeFile(rows, length);
        std::int64_t count = -1;
        EXPECT_EQ(sortFile(*file, *file, sortSpec, count), kMsgNone) << sortSpec;
        EXPECT_EQ(count, file->recordCount());
        return records(*file);
    }

    static std::string sequenced(std::int64_t row, const std::string& rest) {
        std::string record(kSequenceFieldWidth, '\0');
        writeSequenceField(row, record.data());
        return record + rest;
    }
};

TEST_F(SortFileTest, SortsByTheSpecification) {
    const struct {
        const char* sortSpec;
        std::size_t length;
        std::vector<std::string> in;
        std::vector<std::string> out;
    } cases[] = {
        {"S(1,4,N,A)F(FIX,5)W(/tmp/)",
         5,
         {"3    ", "-5   ", "10   ", "9    ", "-10  ", "-9   ", "3.5  ", "3.25 "},
         {"-10  ", "-9   ", "-5   ", "3    ", "3.25 ", "3.5  ", "9    ", "10   "}},
        // Equal keys in letter case come out together, identical rows next to each other.
        {"S(1,3,C,A)F(FIX,4)",
         4,
         {"abc ", "ABD ", "abc ", "Abc ", "abd ", "ABC ", "   N", "abc "},
         {"   N", "ABC ", "Abc ", "abc ", "abc ", "abc ", "ABD ", "abd "}},
        {"S(1,3,C,D)F(FIX,4)", 4, {"b   ", "   N", "a   "}, {"b   ", "a   ", "   N"}},
        {"S(1,1,C,D,3,1,C,A)F(FIX,4)", 4, {"a z ", "b y ", "a x "}, {"b y ", "a x ", "a z "}},
        // DISTINCT: 'abc', 'ABC', 'abc' keeps one 'abc' and one 'ABC'.
        {"S(1,3,C,A)DUPO(B4,1,4)F(FIX,4)", 4, {"abc ", "ABC ", "abc "}, {"ABC ", "abc "}},
        {"S()DUPO(B4,1,0)F(FIX,4)", 4, {"abc ", "ABC ", "abc "}, {"abc "}},
        {"S(1,1,C,A)F(FIX,2)", 2, {}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(sorted(c.sortSpec, c.in, c.length), c.out) << c.sortSpec;
}

TEST_F(SortFileTest, RefusesWhatItCannotSort) {
    auto file = makeFile({"abcde", "fghij"}, 5);
    std::int64_t count = -1;
    const std::string refused[] = {keys(21), "S(1,3,C,A)F(FIX,3)", "S(1,1,C,A)"};
    for (const std::string& sortSpec : refused) {
        EXPECT_EQ(sortFile(*file, *file, sortSpec, count), kMsgOrderByUnable) << sortSpec;
    }
    EXPECT_EQ(count, -1);
    EXPECT_EQ(records(*file), (std::vector<std::string>{"abcde", "fghij"}));  // untouched

    // No run file can be made: a sort that needs runs fails, one that fits in memory does not.
    ::setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
    EXPECT_EQ(sortFile(*file, *file, "S(1,5,C,D)F(FIX,5)", count, 16), kMsgOrderByUnable);
    EXPECT_EQ(sortFile(*file, *file, "S(1,5,C,D)F(FIX,5)", count), kMsgNone);
    EXPECT_EQ(records(*file), (std::vector<std::string>{"fghij", "abcde"}));
}

TEST_F(SortFileTest, DistinctAndKeysetFetchReturnToFirstSeenOrder) {
    // DISTINCT with ORDER BY: rows numbered past 99,999, made distinct, then put back in
    // their numbered order, each kept at its first position.
    const std::vector<std::string> distinctRows = {
        sequenced(5, "abc "), sequenced(100000, "ABC "), sequenced(99999, "abc "),
        sequenced(1000000000000, "zz  "), sequenced(100001, "ABC ")};
    const std::size_t length = kSequenceFieldWidth + 4;
    const std::string distinctSpec = "S(21,3,C,A)DUPO(B24,21,4)F(FIX,24)";
    ASSERT_EQ(length, 24u);
    auto file = makeFile(distinctRows, length);
    std::int64_t count = -1;
    ASSERT_EQ(sortFile(*file, *file, distinctSpec, count), kMsgNone);
    ASSERT_EQ(sortFile(*file, *file, sequenceOrderSpec(length), count), kMsgNone);
    EXPECT_EQ(records(*file),
              (std::vector<std::string>{sequenced(5, "abc "), sequenced(100000, "ABC "),
                                        sequenced(1000000000000, "zz  ")}));

    // The keyset fetch: record ids matched by several OR terms are kept once, first seen.
    std::vector<std::string> keysetRows;
    const std::int32_t ids[] = {7, 3, 7, 0x61, 9, 3, 0x41, -1, -1};
    for (std::size_t row = 0; row < std::size(ids); ++row) {
        std::string id(4, '\0');
        std::memcpy(id.data(), &ids[row], 4);
        keysetRows.push_back(sequenced(std::int64_t(row) * 50000, id + " "));
    }
    auto keyset = makeFile(keysetRows, kKeysetFetchRowLength);
    auto deduped = makeFile({}, kKeysetFetchRowLength);
    ASSERT_EQ(sortFile(*keyset, *deduped, keysetFetchDedupeSpec(), count), kMsgNone);
    EXPECT_EQ(count, 6);
    ASSERT_EQ(sortFile(*deduped, *deduped, sequenceOrderSpec(kKeysetFetchRowLength), count),
              kMsgNone);
    const std::size_t kept[] = {0, 1, 3, 4, 6, 7};
    std::vector<std::string> expected;
    for (std::size_t row : kept) expected.push_back(keysetRows[row]);
    EXPECT_EQ(records(*deduped), expected);
    EXPECT_EQ(keyset->recordCount(), 9);  // the input of a two-file sort is left as it was
}

// Random records over few distinct values (so that ties, NULLs and duplicates abound) and
// random sort orders, sorted by sortFile (from records stored as they are or trimmed) and by
// std::stable_sort with compareRecords over the records as they are.
struct RandomCase {
    std::string sortSpec;
    std::size_t length = 0;
    std::vector<std::string> rows;
    std::vector<ByteRange> textKeys;
};

RandomCase randomCase(std::mt19937& random, std::size_t rowCount) {
    const auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
    RandomCase out;
    std::string keysText;
    std::vector<char> types;
    std::vector<std::size_t> widths;
    std::vector<bool> markers;
    const std::size_t keyCount = 1 + pick(4);
    for (std::size_t i = 0; i < keyCount; ++i) types.push_back("CWENX"[pick(5)]);
    std::size_t position = 1;
    const auto isText = [](char type) { return type == 'C' || type == 'W'; };
    for (std::size_t i = 0; i < keyCount; ++i) {
        const char type = types[i];
        // Now and then a text key runs straight into the next one, which then holds its marker.
        const bool runsOn = i + 1 < keyCount && isText(type) && isText(types[i + 1]);
        markers.push_back(!(runsOn && pick(4) == 0));
        const std::size_t width = type == 'E' ? 8 : 1 + pick(type == 'N' ? 5 : 12);
        keysText += (i ? "," : "") + std::to_string(position) + "," + std::to_string(width) + "," +
                    type + "," + (pick(2) ? "A" : "D");
        widths.push_back(width);
        if (isText(type)) {
            out.textKeys.push_back(ByteRange{std::uint32_t(position - 1), std::uint32_t(width)});
        }
        position += width + (markers.back() ? 1 : 0);
    }
    const std::size_t payload = pick(6);
    out.length = position - 1 + payload;
    out.sortSpec = "S(" + keysText + ")";
    if (pick(3) == 0) {
        const std::size_t start = 1 + pick(out.length);
        const std::size_t length = pick(out.length - start + 2);
        out.sortSpec += "DUPO(B" + std::to_string(out.length) + "," + std::to_string(start) + "," +
                        std::to_string(length) + ")";
    }
    out.sortSpec += "F(FIX," + std::to_string(out.length) + ")W(/tmp/)";

    const double doubles[] = {-2.5, 0.0, -0.0, 1.0, 1e300, std::nan("")};
    for (std::size_t r = 0; r < rowCount; ++r) {
        std::string row;
        for (std::size_t k = 0; k < keyCount; ++k) {
            if (types[k] == 'E') {
                const double value = doubles[pick(std::size(doubles))];
                row.append(reinterpret_cast<const char*>(&value), sizeof value);
            } else if (types[k] == 'N') {
                std::string text = std::to_string(int(pick(25)) - 12);
                if (pick(3) == 0) text += ".5";
                text.resize(widths[k], ' ');
                row += text;
            } else {  // text, mostly padded with blanks as values are
                const std::size_t used = pick(widths[k] + 1);
                for (std::size_t i = 0; i < widths[k]; ++i) {
                    row += i < used ? "aAbB -\xE9"[pick(7)] : ' ';
                }
            }
            if (markers[k]) row += pick(8) == 0 ? kNullMarker : kValueMarker;
        }
        for (std::size_t i = 0; i < payload; ++i) row += char('0' + pick(3));
        out.rows.push_back(row);
    }
    return out;
}

std::vector<std::string> referenceSort(const RandomCase& c) {
    SortSpec sortSpec;
    EXPECT_EQ(parseSortSpec(c.sortSpec, sortSpec), kMsgNone) << c.sortSpec;
    std::vector<std::string> rows = c.rows;
    const RecordLayout asIs(sortSpec.recordLength);
    std::stable_sort(rows.begin(), rows.end(), [&](const std::string& a, const std::string& b) {
        return compareRecords(sortSpec, asIs, a.data(), b.data()) < 0;
    });
    if (!sortSpec.dedupe) return rows;
    std::vector<std::string> kept;
    const ByteRange dupo = sortSpec.duplicates;
    for (const std::string& row : rows) {
        if (kept.empty() ||
            kept.back().compare(dupo.offset, dupo.length, row, dupo.offset, dupo.length) != 0) {
            kept.push_back(row);
        }
    }
    return kept;
}

TEST_F(SortFileTest, MatchesStableSortInMemoryAndThroughRuns) {
    std::mt19937 random(20240615);
    const struct {
        std::size_t cases;
        std::size_t maxRows;
        std::size_t budget;  // bytes of sorting memory
    } sizes[] = {
        {150, 300, kDefaultSortMemory},  // in memory
        {40, 2000, 2048},                // runs of a few dozen records, merged in passes
        {6, 20000, 64 * 1024},           // about a dozen runs, one merge
    };
    for (const auto& size : sizes) {
        for (std::size_t i = 0; i < size.cases; ++i) {
            const RandomCase c = randomCase(random, random() % (size.maxRows + 1));
            const bool sameFile = random() % 2 == 0;
            // Half the inputs are stored with their text keys trimmed, as result files are.
            const auto length = std::uint32_t(c.length);
            const RecordLayout layout =
                random() % 2 ? RecordLayout(length, c.textKeys) : RecordLayout(length);
            auto input = makeFile(c.rows, layout);
            auto separate = sameFile ? nullptr : makeFile({}, 1);
            TempFile& output = sameFile ? *input : *separate;
            std::int64_t count = -1;
            ASSERT_EQ(sortFile(*input, output, c.sortSpec, count, size.budget), kMsgNone)
                << c.sortSpec;
            const std::vector<std::string> expected = referenceSort(c);
            ASSERT_EQ(count, std::int64_t(expected.size())) << c.sortSpec;
            ASSERT_EQ(records(output), expected) << c.sortSpec << " rows " << c.rows.size();
        }
    }
}

}  // namespace
}  // namespace kelvra
