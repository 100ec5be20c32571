#pragma once

#include <QStringList>
#include <QTranslator>
#include <memory>

namespace Qolvi_Desktop_Agent {

// The translation of the window into the first of the given languages (most wanted first, as
// QLocale::uiLanguages() lists them) that the agent ships, or none, which is English: an English
// language before any shipped one keeps the window English, as does a list that names none.
[[nodiscard]] std::unique_ptr<QTranslator> translationFor(const QStringList &uiLanguages);

} // namespace Qolvi_Desktop_Agent
