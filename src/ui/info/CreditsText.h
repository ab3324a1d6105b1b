// The credits of the about window, line by line: drawn into its credits
// picture by the picture generator, and read out as text to a screen reader,
// so both say the same.
#pragma once

namespace about {

inline constexpr const char* creditLines[] = {
    "«Сарвино», версия 1.0, 2026 г.",
    "© 2026 «СветСофт». Все права защищены.",
    "Программирование: Алексей Воронцов",
    "Дизайн: Марина Лебедева",
    "Интернет-поддержка: Олег Сергеев",
    "По вопросам размещения рекламы:",
    "т. 3-45-67, 8-902-345-67-89",
};

} // namespace about
