// Each state rendered and looked at, in each language, the banner, and the buttons' motion.
#include "mainscreentest.h"
#include "ui/themepalette.h"
#include "ui/uilanguage.h"

#include <QGuiApplication>
#include <QtQuickTest/quicktest.h>

namespace {

const ThemePalette &palette = ThemePalette::colors();
const QString newLoginText =
    "To let the agent see your windows, log out and log in again before the exam.";
// What the window shows in English, none of which a translated window may show.
const QStringList englishTexts{"ENTER YOUR EXAM KEY IN THE BOX BELOW",
                               "YOUR EXAM KEY",
                               "MATCH THE KEY",
                               "CONNECTED",
                               "BEGIN THE EXAM",
                               "OPEN A BROWSER ON YOUR COMPUTER",
                               "DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM",
                               "Please enter the exam key.",
                               newLoginText};

// How far two colours may differ after antialiasing and blending.
bool near(QColor actual, QColor expected, int tolerance = 3) {
    return std::max({std::abs(actual.red() - expected.red()),
                     std::abs(actual.green() - expected.green()),
                     std::abs(actual.blue() - expected.blue())}) <= tolerance;
}

// WCAG 2 contrast ratio of two opaque colours.
double contrast(QColor a, QColor b) {
    const auto luminance = [](QColor color) {
        const auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
               0.0722 * channel(color.blueF());
    };
    const auto [dark, light] = std::minmax({luminance(a), luminance(b)});
    return (light + 0.05) / (dark + 0.05);
}

QColor over(QColor top, float alpha, QColor below) {
    return QColor::fromRgbF(top.redF() * alpha + below.redF() * (1 - alpha),
                            top.greenF() * alpha + below.greenF() * (1 - alpha),
                            top.blueF() * alpha + below.blueF() * (1 - alpha));
}

} // namespace

class ScreenRenderingTest : public MainScreenTest {
    Q_OBJECT
private slots:
    void screenStates_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("dark");
        for (const char *state : {"key entry", "loading", "connected, reporting"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, light").arg(state))) << state << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, dark").arg(state))) << state << true;
        }
    }

    // Each state as drawn; the appearance changes while the window is open. A report in
    // flight changes nothing on screen. Once connected, the scans find that only a new login
    // shows the agent the windows, and the screen says so for good, in the body's colours.
    void screenStates() {
        QFETCH(QString, state);
        QFETCH(bool, dark);
        const bool loading = state == "loading";
        const bool connected = state.startsWith("connected");
        m_probe->windowsNeedNewLogin = connected;
        enter(connected ? "connected" : state);
        if (connected) {
            m_agent->reportTick();
            QVERIFY(m_agent->isLoading());
        }
        SystemAppearance::shared().setColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
        const QColor background = dark ? palette.navy() : palette.snow();
        const QColor foreground = dark ? palette.white() : palette.navy();

        QCOMPARE(text("heading"),
                 connected ? "YOUR EXAM KEY" : "ENTER YOUR EXAM KEY IN THE BOX BELOW");
        QCOMPARE(item("heading")->property("color").value<QColor>(), foreground);
        QCOMPARE(item("keyField")->isEnabled(), state == "key entry");
        QCOMPARE(text("keyField"), state == "key entry" ? "" : "K-1");
        QCOMPARE(item("keyButton")->isVisible(), !connected);
        QCOMPARE(item("keyButton")->isEnabled(), !loading);
        QCOMPARE(item("busyIndicator") != nullptr, loading);
        QCOMPARE(item("connectedGroup")->isVisible(), connected);
        QCOMPARE(item("newLoginText") != nullptr, connected);
        QVERIFY(item("logo")->property("source").toString().endsWith(dark ? "logo-white"
                                                                          : "logo-dark"));
        QQuickItem *button = item(connected ? "beginButton" : "keyButton");
        for (int tabs = 0; !loading && tabs < 4 && !button->hasActiveFocus(); ++tabs) {
            QTest::keyClick(m_view.get(), Qt::Key_Tab);
        }
        const QImage image = grab();
        QVERIFY(near(pixelAt(image, {3, 3}), background));
        // The focus ring, just left of the plate, stands out 3:1 from the background beyond.
        const double ratio =
            contrast(pixelAt(image, button->mapToScene(QPointF(-3, button->height() / 2))),
                     pixelAt(image, button->mapToScene(QPointF(-8, button->height() / 2))));
        QVERIFY2(loading || ratio >= 3.0, qPrintable(QString::number(ratio)));
        if (connected) {
            QCOMPARE(text("connectedLabel"), "CONNECTED");
            QCOMPARE(text("beginButton"), "BEGIN THE EXAM");
            QVERIFY(item("beginButton")->isEnabled());
            QCOMPARE(item("instructions")->childItems().front()->property("color").value<QColor>(),
                     foreground);
            QVERIFY(near(pixelAt(image, insidePlate(item("beginButton"))), palette.mint()));
            // Its caption is in the body font: the button's style gives it none of its own.
            QCOMPARE(item("beginButton")->property("font").value<QFont>(), QGuiApplication::font());
            QCOMPARE(text("newLoginText"), newLoginText);
            QCOMPARE(item("newLoginText")->property("color").value<QColor>(), foreground);
        } else {
            // Disabled, the plate is crimson at 60 % over the background.
            QVERIFY(near(pixelAt(image, insidePlate(item("keyButton"))),
                         loading ? over(palette.crimson(), 0.6f, background) : palette.crimson()));
        }
        // Qt 6.4 reports no disabled state for Quick items; a field that cannot be edited is
        // read-only to assistive technology.
        QCOMPARE(accessible("keyField")->state().readOnly, state != "key entry");
        QCOMPARE(accessible("heading")->role(), QAccessible::Heading);
        if (connected) {
            QCOMPARE(accessible("newLoginNotice")->role(), QAccessible::AlertMessage);
            QCOMPARE(accessible("newLoginNotice")->text(QAccessible::Name), newLoginText);
        }
        if (loading) {
            QCOMPARE(accessible("busyIndicator")->role(), QAccessible::Indicator);
            QVERIFY(!accessible("busyIndicator")->text(QAccessible::Name).isEmpty());
            m_heldSubmission->send(accepted);
            QTRY_VERIFY_WITH_TIMEOUT(m_agent->isConnected(), 10000);
            QCOMPARE(item("busyIndicator"), nullptr);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_agent->isLoading(), 10000);
    }

    void languages_data() {
        QTest::addColumn<QStringList>("uiLanguages");
        QTest::addColumn<QString>("language");
        QTest::newRow("C") << QStringList{"C"} << "";
        QTest::newRow("English") << QStringList{"en-US", "en"} << "";
        QTest::newRow("English before Turkish") << QStringList{"en-GB", "tr"} << "";
        QTest::newRow("tr") << QStringList{"tr"} << "tr";
        QTest::newRow("not shipped, then German") << QStringList{"pt-BR", "pt", "de-AT"} << "de";
        QTest::newRow("unknown name, then French") << QStringList{"qx", "fr-CA"} << "fr";
        QTest::newRow("es") << QStringList{"es"} << "es";
        QTest::newRow("Arabic of Egypt") << QStringList{"ar-EG", "ar"} << "ar";
        QTest::newRow("Chinese by script") << QStringList{"zh-Hans-CN", "zh-CN"} << "zh_CN";
    }

    // The first of the desktop's languages that ships wins, and English is a language too.
    // Each state in each shipped language, at the least size the window takes: every text is
    // translated and whole, and a right-to-left language mirrors the screen.
    void languages() {
        QFETCH(QStringList, uiLanguages);
        QFETCH(QString, language);
        m_translation = translationFor(uiLanguages);
        QCOMPARE(m_translation ? m_translation->language() : QString(), language);
        if (!m_translation) {
            return;
        }
        QCoreApplication::installTranslator(m_translation.get());
        // From the first scan on, the notice of a new login shows too.
        m_probe->windowsNeedNewLogin = true;
        m_view->engine()->retranslate();
        const bool mirrored = language == "ar";
        QCOMPARE(QGuiApplication::layoutDirection(), mirrored ? Qt::RightToLeft : Qt::LeftToRight);

        QQuickItem *field = item("keyField");
        QQuickItem *outline = item("keyFieldOutline");
        const qreal leadingGap =
            mirrored ? field->width() - outline->x() - outline->width() : outline->x();
        QCOMPARE(leadingGap, 7.0);
        QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, centreOf(field));
        for (const char typed : std::string_view("AB-12")) {
            QTest::keyClick(m_view.get(), typed);
        }
        QCOMPARE(m_agent->examKey(), "AB-12");

        const auto checkTexts = [this](const char *state) {
            QVERIFY(QQuickTest::qWaitForPolish(m_view.get()));
            const QSize least(qCeil(m_view->rootObject()->property("preferredWidth").toReal()),
                              qCeil(m_view->rootObject()->property("preferredHeight").toReal()));
            m_view->resize(least);
            QTRY_COMPARE(m_view->rootObject()->size(), QSizeF(least));
            QVERIFY(QQuickTest::qWaitForPolish(m_view.get()));
            for (QQuickItem *candidate : m_view->rootObject()->findChildren<QQuickItem *>()) {
                const QString shown = candidate->property("text").toString();
                if (!candidate->isVisible() || !candidate->inherits("QQuickText") ||
                    shown.isEmpty()) {
                    continue;
                }
                const QString where = QStringLiteral("%1: \"%2\"").arg(state, shown);
                QVERIFY2(!englishTexts.contains(shown), qPrintable(where));
                QVERIFY2(candidate->property("contentWidth").toReal() <= candidate->width() + 0.5,
                         qPrintable(where));
                const QRectF onScreen = candidate->mapRectToScene(candidate->boundingRect());
                QVERIFY2(QRectF(QPointF(0, 0), QSizeF(least)).contains(onScreen),
                         qPrintable(where));
            }
        };
        for (const char *state : {"key entry", "banner", "loading", "connected"}) {
            if (QTest::currentTestFailed()) {
                return;
            }
            enter(QString::fromLatin1(state));
            checkTexts(state);
        }
    }

    // At the top centre, the text as given (markup too) and wrapped, gone on a click.
    void banner() {
        const QString message = "<b>*not bold*</b> " + QString(40, 'w') + " and more to wrap";
        AlertManager::shared().showAlert(message, AlertType::danger);
        QTRY_VERIFY(item("bannerPlate") != nullptr);
        QQuickItem *banner = item("bannerPlate");
        QCOMPARE(text("bannerText"), message);
        QCOMPARE(item("bannerText")->property("textFormat").toInt(), int(Qt::PlainText));
        const QPointF topLeft = banner->mapToScene(QPointF(0, 0));
        QVERIFY(std::abs(topLeft.x() + banner->width() / 2 - m_view->width() / 2.0) <= 1);
        QCOMPARE(topLeft.y(), 12.0);
        QVERIFY(banner->width() <= m_view->width() - 24);
        QVERIFY(near(pixelAt(grab(), banner->mapToScene(QPointF(3, 10))),
                     over(palette.rose(), 0.85f, palette.snow())));

        QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, centreOf(banner));
        QTRY_COMPARE(item("bannerPlate"), nullptr);
        QVERIFY(!AlertManager::shared().isVisible());
    }

    // Drawing only: the layout does not move.
    void buttonsGrowUnderThePointerAndWhilePressed() {
        QQuickItem *button = item("keyButton");
        const QRectF layout(button->position(), button->size());
        QTest::mouseMove(m_view.get(), centreOf(button));
        QTRY_COMPARE(button->property("drawnScale").toReal(), 1.05);
        QTest::mousePress(m_view.get(), Qt::LeftButton, {}, centreOf(button));
        QTRY_VERIFY(std::abs(button->property("drawnScale").toReal() - 1.071) < 1e-9);
        QCOMPARE(QRectF(button->position(), button->size()), layout);
        QVERIFY(button->mapRectToScene(button->boundingRect()).width() > layout.width() * 1.07);
        QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseMove(m_view.get(), QPoint(1, 1));
        QTRY_COMPARE(button->property("drawnScale").toReal(), 1.0);
    }
};

QTEST_MAIN(ScreenRenderingTest)
#include "tst_screenrendering.moc"
