#include "options.h"

#include <cstdio>
#include <cstring>

namespace method {
namespace options {

namespace {

// Appends item to text, after a comma unless it is the first.
void append(Text& text, const char* before, const char* item, const char* after)
{
    const size_t used = std::strlen(text.c);
    std::snprintf(text.c + used, sizeof text.c - used, "%s%s%s%s", used ? ", " : "", before, item,
                  after);
}

}  // namespace

const Row* find(const char* name, Host host)
{
    for (const Row& row : ROWS) {
        if ((row.hosts & host) != 0 && std::strcmp(row.name, name) == 0) return &row;
    }
    return nullptr;
}

Text known_names(Host host)
{
    Text text;
    for (const Row& row : ROWS) {
        if ((row.hosts & host) != 0) append(text, "", row.name, "");
    }
    return text;
}

Text rule_names()
{
    Text text;
    for (const RuleName& entry : RULE_NAMES) append(text, "'", entry.name, "'");
    return text;
}

int rule_index(const char* name)
{
    for (size_t k = 0; k < sizeof RULE_NAMES / sizeof RULE_NAMES[0]; ++k) {
        if (std::strcmp(RULE_NAMES[k].name, name) == 0) return static_cast<int>(k);
    }
    return -1;
}

Text type_text(Kind kind)
{
    Text text;
    const char* word = "function handle";
    switch (kind) {
    case Kind::rule:
        std::snprintf(text.c, sizeof text.c, "one of %.390s", rule_names().c);
        return text;
    case Kind::whole: word = "whole number"; break;
    case Kind::number: word = "number"; break;
    case Kind::flag: word = "logical"; break;
    case Kind::callback: break;
    }
    std::snprintf(text.c, sizeof text.c, "%s", word);
    return text;
}

Text refusal(const Row& row, double x)
{
    Text text;
    if (row.kind == Kind::flag) {
        if (!(x == 0 || x == 1)) {
            std::snprintf(text.c, sizeof text.c, "option %s must be true or false.", row.name);
        }
        return text;
    }
    const bool whole = row.kind == Kind::whole;
    if (!(x >= row.lo && x <= row.hi) || (whole && std::isfinite(x) && x != std::floor(x))) {
        std::snprintf(text.c, sizeof text.c, "option %s must be %s in [%g, %g], got %g.",
                      row.name, whole ? "a whole number" : "a number", row.lo, row.hi, x);
    }
    return text;
}

double default_value(const Row& row)
{
    return row.get != nullptr ? row.get(Settings{}) : NAN;
}

}  // namespace options
}  // namespace method
