#include "ui/colorfromhex.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent;

class ColorFromHexTest : public QObject {
    Q_OBJECT

private slots:
    // Blanks and other non-alphanumerics trimmed at both ends; three, six or eight characters
    // (counted as a person reads them) read as hex, anything else as black.
    void parses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        const std::pair<const char *, QColor> rows[] = {
            {"#191659", QColor(25, 22, 89)},       {"0a3", QColor(0, 170, 51)},
            {"#80FF0000", QColor(255, 0, 0, 128)}, {"#12345", QColor(0, 0, 0)},
            {"#zzzzzz", QColor(0, 0, 0)},          {"  ##A62A4C!\n", QColor(166, 42, 76)},
            {"#12 456", QColor(0, 0, 18)},         {"ab\u0301c", QColor(0, 170, 187)},
            {"😀fff😀", QColor(255, 255, 255)},      {"#ffffffffffffffffffff", QColor(0, 0, 0)},
        };
        for (const auto &[text, color] : rows) {
            QTest::newRow(text) << QString::fromUtf8(text) << color;
        }
    }

    void parses() {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        QCOMPARE(colorFromHex(text).rgba(), expected.rgba());
    }
};

QTEST_APPLESS_MAIN(ColorFromHexTest)
#include "tst_colorfromhex.moc"
