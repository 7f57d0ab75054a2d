// The table of options against the structs it reads: every row reaches its
// own field and no other, reads back the struct's default, and refuses
// exactly the values outside its range.

#include <gtest/gtest.h>

#include "options.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>

namespace {

using method::Settings;
namespace options = method::options;

// Each option's field, read directly: the reference the rows are held to.
const std::map<std::string, std::function<double(const Settings&)>>& fields()
{
    static const std::map<std::string, std::function<double(const Settings&)>> f = {
        {"rule", [](const Settings& s) { return double(static_cast<int>(s.rule)); }},
        {"max_iter", [](const Settings& s) { return double(s.max_iter); }},
        {"time_limit", [](const Settings& s) { return s.time_limit; }},
        {"target_f", [](const Settings& s) { return s.target_f; }},
        {"tol", [](const Settings& s) { return s.tol; }},
        {"tol_stat", [](const Settings& s) { return s.tol_stat; }},
        {"n_trials", [](const Settings& s) { return double(s.n_trials); }},
        {"certify", [](const Settings& s) { return double(s.certify); }},
        {"prox", [](const Settings& s) { return double(s.prox); }},
        {"seed", [](const Settings& s) { return double(s.seed); }},
        {"verbose", [](const Settings& s) { return double(s.verbose); }},
        {"print_interval", [](const Settings& s) { return s.print_interval; }},
        {"print_every", [](const Settings& s) { return double(s.print_every); }},
    };
    return f;
}

// The rule a row value stands for, as the enum's number.
double as_field(const options::Row& row, double value)
{
    if (row.kind != options::Kind::rule) return value;
    return double(static_cast<int>(method::RULE_NAMES[static_cast<size_t>(value)].rule));
}

// In-range values of a row, drawn at random but always including its ends
// where they are finite.
std::vector<double> values_in_range(const options::Row& row, std::mt19937_64& rng)
{
    if (row.kind == options::Kind::rule) {
        std::vector<double> all;
        for (size_t k = 0; k < sizeof method::RULE_NAMES / sizeof method::RULE_NAMES[0]; ++k) {
            all.push_back(double(k));
        }
        return all;
    }
    if (row.kind == options::Kind::flag) return {0, 1};
    const double lo = std::isfinite(row.lo) ? row.lo : -1e300;
    const double hi = std::isfinite(row.hi) ? row.hi : 1e300;
    std::vector<double> v;
    if (std::isfinite(row.lo)) v.push_back(row.lo);
    if (std::isfinite(row.hi)) v.push_back(row.hi);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int k = 0; k < 20; ++k) {
        // Spread over the magnitudes, not only the top of a huge range.
        const double x = std::fmin(hi, lo + std::pow(std::fmin(hi - lo, 1e300), unit(rng)));
        v.push_back(row.kind == options::Kind::whole ? std::floor(x) : x);
    }
    return v;
}

TEST(OptionTable, NamesAreUniqueAndEveryFieldHasItsRow)
{
    std::set<std::string> names;
    for (const options::Row& row : options::ROWS) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_EQ(row.kind == options::Kind::callback, row.set == nullptr) << row.name;
        EXPECT_EQ(row.kind == options::Kind::callback, row.get == nullptr) << row.name;
        if (row.kind != options::Kind::callback) {
            EXPECT_EQ(fields().count(row.name), 1u) << row.name;
        }
    }
    EXPECT_EQ(names.size(), fields().size() + 1);  // and the callback
    EXPECT_EQ(names.count("callback"), 1u);
}

TEST(OptionTable, DefaultsAreTheStructs)
{
    const method::Options engine{};
    const Settings settings{};
    for (const options::Row& row : options::ROWS) {
        if (row.get == nullptr) continue;
        EXPECT_EQ(as_field(row, options::default_value(row)), fields().at(row.name)(settings))
            << row.name;
    }
    // The engine's own defaults, through the base the table reads.
    EXPECT_EQ(options::default_value(*options::find("tol", options::mex)), engine.tol);
    EXPECT_EQ(options::default_value(*options::find("seed", options::python)), engine.seed);
    EXPECT_EQ(options::default_value(*options::find("max_iter", options::mex)),
              double(engine.max_iter));
    EXPECT_EQ(std::string(method::RULE_NAMES[size_t(options::default_value(options::ROWS[0]))].name),
              "mixed");
}

TEST(OptionTable, EachRowSetsItsOwnFieldOnly)
{
    std::mt19937_64 rng(7);
    for (const options::Row& row : options::ROWS) {
        if (row.set == nullptr) continue;
        for (const double v : values_in_range(row, rng)) {
            if (row.kind != options::Kind::rule) {
                EXPECT_EQ(options::refusal(row, v).c[0], '\0') << row.name << " " << v;
            }
            Settings s;
            row.set(s, v);
            const double expected =
                row.kind == options::Kind::whole && std::strcmp(row.name, "max_iter") == 0 &&
                        v >= 9223372036854775807.0
                    ? double(INT64_MAX)
                    : as_field(row, v);
            EXPECT_EQ(fields().at(row.name)(s), expected) << row.name << " " << v;
            EXPECT_EQ(as_field(row, row.get(s)), expected) << row.name << " " << v;
            const Settings untouched;
            for (const auto& other : fields()) {
                if (other.first == row.name) continue;
                EXPECT_EQ(other.second(s), other.second(untouched)) << row.name << " set " << other.first;
            }
        }
    }
}

TEST(OptionTable, RefusesValuesOutsideTheRange)
{
    for (const options::Row& row : options::ROWS) {
        if (row.kind == options::Kind::rule || row.kind == options::Kind::callback) continue;
        std::vector<double> bad = {NAN};
        if (std::isfinite(row.lo)) bad.push_back(std::nextafter(row.lo, -HUGE_VAL));
        if (std::isfinite(row.hi)) bad.push_back(std::nextafter(row.hi, HUGE_VAL) + 1);
        if (row.kind == options::Kind::whole) bad.push_back(row.lo + 0.5);
        if (row.kind == options::Kind::flag) bad.push_back(0.5);
        for (const double x : bad) {
            const options::Text why = options::refusal(row, x);
            EXPECT_NE(std::strstr(why.c, row.name), nullptr) << row.name << " " << x << ": " << why.c;
        }
    }
    // Infinity is a whole number where the range takes it (no cap).
    EXPECT_EQ(options::refusal(*options::find("max_iter", options::mex), HUGE_VAL).c[0], '\0');
}

TEST(OptionTable, ListsAreBuiltFromTheRows)
{
    EXPECT_STREQ(options::known_names(options::mex).c,
                 "rule, max_iter, time_limit, target_f, tol, tol_stat, n_trials, certify, prox, "
                 "seed, verbose, print_interval, print_every, callback");
    EXPECT_STREQ(options::known_names(options::python).c,
                 "rule, max_iter, time_limit, target_f, tol, tol_stat, n_trials, certify, prox, "
                 "seed, print_interval, print_every");
    EXPECT_STREQ(options::type_text(options::Kind::rule).c,
                 "one of 'mixed', 'zandrel', 'tolmiv', 'uniform', 'sweep', 'prox'");
    EXPECT_EQ(options::find("verbose", options::python), nullptr);
    EXPECT_EQ(options::find("nope", options::mex), nullptr);
    for (size_t k = 0; k < sizeof method::RULE_NAMES / sizeof method::RULE_NAMES[0]; ++k) {
        EXPECT_EQ(options::rule_index(method::RULE_NAMES[k].name), int(k));
    }
    EXPECT_EQ(options::rule_index("best"), -1);
    EXPECT_EQ(options::rule_index("Mixed"), -1);
}

}  // namespace
