#pragma once

// The options of a run, in one table: their names, what values they take,
// and how each reaches its field. The MEX-file and the Python module read
// their options through this table and nothing else, orthopair_run() with
// no arguments returns it, and the M front ends take their names and
// ranges from there. The defaults are the initial values of the fields of
// Settings (method::Options and the two of the hosts' progress lines): a
// row reads its default back from a default-constructed Settings, so each
// default is written once.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "method.h"

namespace method {

// What one call's options set: the engine's options and the two that only
// the hosts read, for their progress lines.
struct Settings : Options {
    bool verbose = false;            // a line at every progress point
    int64_t print_every = 0;         // iterations between progress points; 0: by time only
};

// The rules by name, in the order the messages list them.
struct RuleName {
    const char* name;
    Rule rule;
};

constexpr RuleName RULE_NAMES[] = {{"mixed", Rule::mixed},     {"zandrel", Rule::zandrel},
                                   {"tolmiv", Rule::tolmiv},   {"uniform", Rule::uniform},
                                   {"sweep", Rule::sweep},     {"prox", Rule::prox}};

namespace options {

// rule: a name from RULE_NAMES; whole: a whole number in [lo, hi]; number:
// any number in [lo, hi] (not NaN); flag: true or false (0 or 1);
// callback: a function of the host, which the host keeps itself.
enum class Kind { rule, whole, number, flag, callback };

// The hosts that take a row. The Python package prints its progress lines
// and calls its callback in Python, so those two rows are the MEX-file's.
enum Host : unsigned { mex = 1u, python = 2u, every_host = 3u };

// A field's value as a double and back. A rule travels as its index in
// RULE_NAMES; a whole number beyond the range of an int64_t field (the
// largest double below 2^63 and infinity) saturates at its largest value.
inline void assign(double& field, double x) { field = x; }
inline void assign(bool& field, double x) { field = x != 0; }
inline void assign(int32_t& field, double x) { field = static_cast<int32_t>(x); }
inline void assign(uint32_t& field, double x) { field = static_cast<uint32_t>(x); }
inline void assign(int64_t& field, double x)
{
    field = x >= 9223372036854775807.0 ? INT64_MAX : static_cast<int64_t>(x);
}
inline void assign(Rule& field, double x) { field = RULE_NAMES[static_cast<size_t>(x)].rule; }

inline double value_of(double field) { return field; }
inline double value_of(bool field) { return field ? 1 : 0; }
inline double value_of(int32_t field) { return field; }
inline double value_of(uint32_t field) { return field; }
inline double value_of(int64_t field) { return static_cast<double>(field); }
inline double value_of(Rule field)
{
    for (size_t k = 0; k < sizeof RULE_NAMES / sizeof RULE_NAMES[0]; ++k) {
        if (RULE_NAMES[k].rule == field) return static_cast<double>(k);
    }
    return 0;
}

template <auto field>
void store(Settings& s, double x)
{
    assign(s.*field, x);
}

template <auto field>
double load(const Settings& s)
{
    return value_of(s.*field);
}

// A line of text held in place: the messages are made before a host raises
// its error, which must find no object that owns memory alive.
struct Text {
    char c[400] = {};
};

struct Row {
    const char* name;
    Kind kind;
    double lo, hi;                   // the range of a number or a whole number
    unsigned hosts;                  // Host bits
    void (*set)(Settings&, double);  // null for the callback
    double (*get)(const Settings&);  // null for the callback
    const char* zero_means;          // what a 0 stands for in the listing, or null
};

// The rows, in the order the listings show them.
constexpr Row ROWS[] = {
    {"rule", Kind::rule, 0, 0, every_host, store<&Settings::rule>, load<&Settings::rule>, nullptr},
    {"max_iter", Kind::whole, 0, HUGE_VAL, every_host, store<&Settings::max_iter>,
     load<&Settings::max_iter>, nullptr},
    {"time_limit", Kind::number, 0, HUGE_VAL, every_host, store<&Settings::time_limit>,
     load<&Settings::time_limit>, nullptr},
    {"target_f", Kind::number, -HUGE_VAL, HUGE_VAL, every_host, store<&Settings::target_f>,
     load<&Settings::target_f>, nullptr},
    {"tol", Kind::number, 0, HUGE_VAL, every_host, store<&Settings::tol>, load<&Settings::tol>,
     nullptr},
    {"tol_stat", Kind::number, 0, HUGE_VAL, every_host, store<&Settings::tol_stat>,
     load<&Settings::tol_stat>, nullptr},
    {"n_trials", Kind::whole, 1, 2147483647.0, every_host, store<&Settings::n_trials>,
     load<&Settings::n_trials>, "n"},
    {"certify", Kind::flag, 0, 1, every_host, store<&Settings::certify>,
     load<&Settings::certify>, nullptr},
    {"prox", Kind::flag, 0, 1, every_host, store<&Settings::prox>, load<&Settings::prox>, nullptr},
    {"seed", Kind::whole, 0, 4294967295.0, every_host, store<&Settings::seed>,
     load<&Settings::seed>, nullptr},
    {"verbose", Kind::flag, 0, 1, mex, store<&Settings::verbose>, load<&Settings::verbose>,
     nullptr},
    {"print_interval", Kind::number, 0, HUGE_VAL, every_host, store<&Settings::print_interval>,
     load<&Settings::print_interval>, nullptr},
    {"print_every", Kind::whole, 0, 9e18, every_host, store<&Settings::print_every>,
     load<&Settings::print_every>, nullptr},
    {"callback", Kind::callback, 0, 0, mex, nullptr, nullptr, nullptr},
};

// The row of that name that the host takes, or null.
const Row* find(const char* name, Host host);

// "rule, max_iter, ...": the names the host takes, for the message that
// refuses an unknown one.
Text known_names(Host host);

// "'mixed', 'zandrel', ...".
Text rule_names();

// The index of the rule of that name in RULE_NAMES, or -1.
int rule_index(const char* name);

// The type as the listing and the messages name it: "one of 'mixed', ...",
// "whole number", "number", "logical", "function handle".
Text type_text(Kind kind);

// Why x is no value for the row (a sentence naming the option), or an empty
// text when it is one. For numbers, whole numbers and flags.
Text refusal(const Row& row, double x);

// The row's value in a default-constructed Settings.
double default_value(const Row& row);

}  // namespace options
}  // namespace method
