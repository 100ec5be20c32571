#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace Qolvi_Desktop_Agent {

// The eight colours of the agent's theme, each parsed from its hex text once.
class ThemePalette : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor navy READ navy CONSTANT)
    Q_PROPERTY(QColor crimson READ crimson CONSTANT)
    Q_PROPERTY(QColor snow READ snow CONSTANT)
    Q_PROPERTY(QColor white READ white CONSTANT)
    Q_PROPERTY(QColor sky READ sky CONSTANT)
    Q_PROPERTY(QColor salmon READ salmon CONSTANT)
    Q_PROPERTY(QColor rose READ rose CONSTANT)
    Q_PROPERTY(QColor mint READ mint CONSTANT)

public:
    [[nodiscard]] static const ThemePalette &colors();
    [[nodiscard]] static ThemePalette *create(QQmlEngine *engine, QJSEngine *scriptEngine);

    [[nodiscard]] QColor navy() const;
    [[nodiscard]] QColor crimson() const;
    [[nodiscard]] QColor snow() const;
    [[nodiscard]] QColor white() const;
    [[nodiscard]] QColor sky() const;
    [[nodiscard]] QColor salmon() const;
    [[nodiscard]] QColor rose() const;
    [[nodiscard]] QColor mint() const;

private:
    ThemePalette() = default;
};

} // namespace Qolvi_Desktop_Agent
