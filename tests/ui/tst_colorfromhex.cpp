#include "ui/colorfromhex.h"
#include "ui/themepalette.h"

#include <QTest>

using namespace Qolvi_Desktop_Agent;

class ColorFromHexTest : public QObject {
    Q_OBJECT

private slots:
    void parses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");

        QTest::newRow("#RRGGBB") << "#191659" << QColor(25, 22, 89);
        QTest::newRow("without #") << "191659" << QColor(25, 22, 89);
        QTest::newRow("#fff") << "#fff" << QColor(255, 255, 255);
        QTest::newRow("#0a3") << "#0a3" << QColor(0, 170, 51);
        QTest::newRow("#AARRGGBB") << "#80FF0000" << QColor(255, 0, 0, 128);
        QTest::newRow("empty") << "" << QColor(0, 0, 0);
        QTest::newRow("five digits") << "#12345" << QColor(0, 0, 0);
        QTest::newRow("seven digits") << "#1234567" << QColor(0, 0, 0);
        QTest::newRow("nine digits") << "#123456789" << QColor(0, 0, 0);
        QTest::newRow("not hex, count 6") << "#zzzzzz" << QColor(0, 0, 0);
        QTest::newRow("inner blank kept, number stops") << "#12 456" << QColor(0, 0, 18);
        QTest::newRow("outer blanks and line break trimmed") << "  #A62A4C\n"
                                                             << QColor(166, 42, 76);
        QTest::newRow("lower case") << "#f78b77" << QColor(247, 139, 119);
        QTest::newRow("upper case") << "#F78B77" << QColor(247, 139, 119);
        QTest::newRow("0x prefix counts as characters") << "0xF" << QColor(0, 0, 255);
        QTest::newRow("0x with six characters") << "0x1234" << QColor(0, 0x12, 0x34);
        QTest::newRow("trailing junk trimmed") << "##abc!!" << QColor(170, 187, 204);
        QTest::newRow("non-Latin letters are alphanumeric") << "#abcдеж" << QColor(0, 0x0a, 0xbc);
        QTest::newRow("a combining mark joins its letter: count 3")
            << QString("ab") + QChar(0x0301) + "c" << QColor(0, 170, 187);
        QTest::newRow("emoji is trimmed") << "😀fff😀" << QColor(255, 255, 255);
        QTest::newRow("huge number saturates") << "#ffffffffffffffffffff" << QColor(0, 0, 0);
    }

    void parses() {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        const QColor color = colorFromHex(text);
        QCOMPARE(color.rgba(), expected.rgba());
        QCOMPARE(color.spec(), QColor::Rgb);
    }
};

QTEST_APPLESS_MAIN(ColorFromHexTest)
#include "tst_colorfromhex.moc"
