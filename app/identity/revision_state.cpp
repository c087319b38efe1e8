#include "app/identity/revision_state.h"

#include "app/core/program_core.h"
#include "app/link/text_numbers.h"

namespace tcu {

int16_t App1RevFromAnswer(const QString& answer) {
    // Characters 1, 3 and 4 (1-based); a shorter answer gives fewer of them.
    const QString digits = QLatin1Char(' ') + answer.mid(0, 1) + answer.mid(2, 2);
    return toInteger16(digits);
}

void registerRevisionRules(ProgramCore& core) {
    core.answerRules().add(QStringLiteral("<APP1RV:>"), [&core](const QString& answer) {
        core.App1RevNumber = App1RevFromAnswer(answer);
    });
}

} // namespace tcu
