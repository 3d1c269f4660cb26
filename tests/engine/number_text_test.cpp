// Typed texts to numbers: the accepted form, rounding of halves, the separator and the range limits.
#include "engine/number_text.h"
#include "fault/fault.h"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace kl {
namespace {

// The fault's message for a conversion, or "" when it succeeds.
template <typename F> std::string fault_of(F&& convert) {
    try {
        convert();
    } catch (const Fault& f) {
        return f.what();
    }
    return "";
}

struct IntCase {
    const char* text;
    long value;
};

TEST(NumberText, AcceptsBlanksSignsFractionsAndExponents) {
    const IntCase cases[] = {
        {"1024", 1024}, {"  768  ", 768}, {"\t5\t", 5},  {"+12", 12},  {"-12", -12},
        {"007", 7},     {"1.", 1},        {".75", 1},    {"-.75", -1}, {"1e3", 1000},
        {"1E+3", 1000}, {"25e-1", 2},     {"1.5e1", 15}, {"0.0", 0},   {"-0", 0},
        {"0e99999", 0}, {"1e-400", 0},    {"1.4", 1},    {"1.6", 2},   {"-1.6", -2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(number_text_to_int32(c.text), c.value) << '"' << c.text << '"';
        EXPECT_EQ(number_text_to_int16(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(NumberText, RoundsHalvesToTheEvenNeighbour) {
    const IntCase cases[] = {
        {"0.5", 0},   {"1.5", 2},   {"2.5", 2},       {"3.5", 4},       {"-0.5", 0},
        {"-1.5", -2}, {"-2.5", -2}, {"-3.5", -4},     {"2.500001", 3},  {"2.499999", 2},
        {"25e-1", 2}, {"35E-1", 4}, {"1023.5", 1024}, {"1024.5", 1024},
    };
    for (const auto& c : cases)
        EXPECT_EQ(number_text_to_int32(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberText, RejectsWhatIsNotANumber) {
    const char* texts[] = {"",    "   ",   "abc", "12abc", "abc12", "1 2",   "+",    "-",   ".",
                           "+-1", "--1",   "1e",  "1e+",   "e5",    "1.2.3", "0x10", "inf", "nan",
                           "1,5", "1 000", "- 5", "1e5.5", "1.5d2", "١٢",    "5\n"};
    for (const char* t : texts) {
        EXPECT_EQ(fault_of([&] { number_text_to_int32(t); }), "Type mismatch") << '"' << t << '"';
        EXPECT_EQ(fault_of([&] { parse_number_text(t); }), "Type mismatch") << '"' << t << '"';
    }
    // An embedded zero character is not a blank either.
    EXPECT_EQ(fault_of([] { number_text_to_int32(std::string("12\0", 3)); }), "Type mismatch");
}

TEST(NumberText, SeparatorIsTheOneAskedFor) {
    EXPECT_FLOAT_EQ(number_text_to_single("1,5", ','), 1.5f);
    EXPECT_FLOAT_EQ(number_text_to_single("1.5", '.'), 1.5f);
    EXPECT_EQ(fault_of([] { number_text_to_single("1.5", ','); }), "Type mismatch");
    EXPECT_EQ(fault_of([] { number_text_to_single("1,5", '.'); }), "Type mismatch");
    EXPECT_EQ(number_text_to_int32("2,5", ','), 2);
    EXPECT_EQ(number_text_to_int32("3,5", ','), 4);
}

TEST(NumberText, AspectTextsAsStored) {
    // Stored aspect texts are padded with blanks; the parse must not depend on the process locale.
    EXPECT_FLOAT_EQ(number_text_to_single("1,333  ", ','), 1.333f);
    EXPECT_FLOAT_EQ(number_text_to_single("1,6", ','), 1.6f);
    EXPECT_FLOAT_EQ(number_text_to_single("0", ','), 0.0f);
    EXPECT_FLOAT_EQ(number_text_to_single("-1,25", ','), -1.25f);
    EXPECT_EQ(number_text_to_single("0,1", ','), 0.1f);
}

TEST(NumberText, IntegerRangeLimitsAfterRounding) {
    EXPECT_EQ(number_text_to_int16("32767"), 32767);
    EXPECT_EQ(number_text_to_int16("-32768"), -32768);
    EXPECT_EQ(number_text_to_int16("32767.4"), 32767);
    EXPECT_EQ(number_text_to_int16("-32768.5"), -32768); // the even neighbour is still in range
    EXPECT_EQ(fault_of([] { number_text_to_int16("32767.5"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int16("32768"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int16("-32769"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int16("-32767.5"); }), ""); // rounds to -32768

    EXPECT_EQ(number_text_to_int32("2147483647"), 2147483647);
    EXPECT_EQ(number_text_to_int32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(number_text_to_int32("2147483646.5"), 2147483646);
    EXPECT_EQ(fault_of([] { number_text_to_int32("2147483647.5"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int32("2147483648"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int32("-2147483649"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int32("1e10"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int32("99999999999999999999999"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_int16("40000"); }), "Overflow");
    EXPECT_EQ(number_text_to_int32("40000"), 40000);
}

TEST(NumberText, FloatingRangeLimits) {
    EXPECT_EQ(fault_of([] { parse_number_text("1e309"); }), "Overflow");
    EXPECT_EQ(fault_of([] { parse_number_text("-1e99999999999999"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_single("1e39"); }), "Overflow");
    EXPECT_EQ(fault_of([] { number_text_to_single("-4e38"); }), "Overflow");
    EXPECT_EQ(number_text_to_single("3e38"), 3e38f);
    EXPECT_EQ(parse_number_text("1e308"), 1e308);
    EXPECT_EQ(number_text_to_single("1e-50"), 0.0f);
    EXPECT_EQ(parse_number_text("1e-99999999999"), 0.0);
    // The leading digit's place decides: many leading zeros do not make a small value large.
    EXPECT_EQ(parse_number_text("0.000000000000000000001e-330"), 0.0);
    EXPECT_EQ(fault_of([] { parse_number_text("0.000001e315"); }), "Overflow");
    EXPECT_DOUBLE_EQ(parse_number_text("0.000001e300"), 1e294);
}

} // namespace
} // namespace kl
