#include "app/settings/prefix_suffix_editor.h"

#include <QLineEdit>
#include <algorithm>

#include "app/settings/settings_window.h"

namespace tcu::settings {

std::optional<Insertion> insertBracketName(const QString& text, int selStart, int selLength,
                                           const QString& name, int maxLength) {
    const int p = std::clamp(selStart, 0, static_cast<int>(text.size()));
    const int removed = std::clamp(selLength, 0, static_cast<int>(text.size()) - p);
    const QString bracket = QLatin1Char('[') + name + QLatin1Char(']');
    QString result = text.left(p) + bracket + text.mid(p + removed);
    if (maxLength > 0 && result.size() > maxLength)
        return std::nullopt;
    return Insertion{result, p + static_cast<int>(bracket.size())};
}

void pickControlChar(QLineEdit& box, CharPicker& picker, int code) {
    picker.frame->hide();
    const QString name = QString::fromLatin1(controlCharName(code));
    if (name.isEmpty() || box.isReadOnly() || !box.isEnabled())
        return;
    const bool selected = box.hasSelectedText();
    const int start = selected ? box.selectionStart() : box.cursorPosition();
    const int length = selected ? static_cast<int>(box.selectedText().size()) : 0;
    box.setFocus(Qt::OtherFocusReason);
    if (auto inserted = insertBracketName(box.text(), start, length, name, box.maxLength())) {
        box.setText(inserted->text);
        box.setCursorPosition(inserted->caret);
    }
}

void toggleCharPicker(CharPicker& picker) {
    picker.frame->setVisible(picker.frame->isHidden());
}

} // namespace tcu::settings
