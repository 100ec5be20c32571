#include "uilanguage.h"

#include <QCoreApplication>
#include <QLocale>

namespace Qolvi_Desktop_Agent {

namespace {

// Qt lays the application out right to left when its translation says so.
[[maybe_unused]] const char *const layoutDirection[] = QT_TRANSLATE_NOOP3(
    "QGuiApplication", "QT_LAYOUT_DIRECTION",
    "Translate this string to the string 'LTR' in left-to-right languages or to 'RTL' in "
    "right-to-left languages (such as Hebrew and Arabic) to get proper widget layout.");

} // namespace

std::unique_ptr<QTranslator> translationFor(const QStringList &uiLanguages) {
    for (const QString &name : uiLanguages) {
        const QLocale language(name);
        if (language.language() == QLocale::English) {
            return nullptr;
        }
        // A name Qt does not know reads as the C locale: it says nothing, so the next one may.
        if (language.language() == QLocale::C) {
            continue;
        }
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(language, QStringLiteral("qolvi"), QStringLiteral("_"),
                             QStringLiteral(":/i18n"))) {
            return translator;
        }
    }
    return nullptr;
}

} // namespace Qolvi_Desktop_Agent
