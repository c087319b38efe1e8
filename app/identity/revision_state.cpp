#include "app/identity/revision_state.h"

#include "app/link/answer_rules.h"
#include "app/link/text_numbers.h"

namespace tcu {

int16_t App1RevNumber = 0;
bool QuietRevQuery = false;

int16_t App1RevFromAnswer(const QString& answer) {
    // Characters 1, 3 and 4 (1-based); a shorter answer gives fewer of them.
    const QString digits = QLatin1Char(' ') + answer.mid(0, 1) + answer.mid(2, 2);
    return toInteger16(digits);
}

void registerRevisionRules(AnswerRules& rules) {
    rules.add(QStringLiteral("<APP1RV:>"),
              [](const QString& answer) { App1RevNumber = App1RevFromAnswer(answer); });
}

void resetRevisionState() {
    App1RevNumber = 0;
    QuietRevQuery = false;
}

} // namespace tcu
