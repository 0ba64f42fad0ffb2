#include "rule_break.h"

namespace zorv_host {

const char* ruleBreakKindName(RuleBreakKind kind)
{
    switch (kind) {
#define ZORV_NAME_CASE(enumerator, name) \
    case RuleBreakKind::enumerator: return name;
        ZORV_RULE_BREAK_KINDS(ZORV_NAME_CASE)
#undef ZORV_NAME_CASE
    }
    return "unknown";
}

std::optional<RuleBreakKind> ruleBreakKindFromName(const std::string& name)
{
#define ZORV_FROM_NAME(enumerator, text) \
    if (name == text)                    \
        return RuleBreakKind::enumerator;
    ZORV_RULE_BREAK_KINDS(ZORV_FROM_NAME)
#undef ZORV_FROM_NAME
    return std::nullopt;
}

} // namespace zorv_host
