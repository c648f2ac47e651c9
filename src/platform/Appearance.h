#pragma once

class QApplication;

namespace quilla {

// Qt's own Chinese translations (确定, 取消, 是, 否 on standard buttons and dialogs).
void installChineseTranslations(QApplication &app);
// The interface font (Noto Sans CJK SC), and the Windows font names the draw
// settings store mapped to installed faces, so the look does not depend on the locale;
// and the faces that draw what those lack (Arabic script, emoji, rare ideographs).
void setUpFonts(QApplication &app);

} // namespace quilla
