#include "app/link/answer_rules.h"

namespace tcu {

void AnswerRules::add(const QString& token, Rule rule) {
    rules_[token].push_back(std::move(rule));
}

void AnswerRules::apply(const QString& token, const QString& answer) const {
    const auto it = rules_.constFind(token);
    if (it == rules_.constEnd())
        return;
    // A copy: a rule may add rules (it never should, but the loop must stay valid).
    const std::vector<Rule> rules = it.value();
    for (const Rule& rule : rules)
        rule(answer);
}

} // namespace tcu
