#include "agent/contentview.h"
#include "faultserver.h"
#include "gate.h"
#include "platform/systemappearance.h"
#include "testagent.h"
#include "ui/pngimages.h"
#include "ui/themepalette.h"
#include "urlcatcher.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickView>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QtMath>
#include <QtQml/QQmlExtensionPlugin>

Q_IMPORT_QML_PLUGIN(QolviPlugin)

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

namespace {

const std::string accepted = R"({"validationErrors":[],"hasError":false})";

// How far two colours may differ after antialiasing and blending.
bool near(QColor actual, QColor expected, int tolerance = 3) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
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
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor over(QColor top, double alpha, QColor below) {
    const auto mix = [alpha](int a, int b) {
        return int(std::lround(a * alpha + b * (1 - alpha)));
    };
    return QColor(mix(top.red(), below.red()), mix(top.green(), below.green()),
                  mix(top.blue(), below.blue()));
}

} // namespace

class MainScreenTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<FaultServer> m_server;
    std::unique_ptr<ContentView> m_agent;
    std::unique_ptr<QQuickView> m_view;
    // Submissions wait for this gate while it is set; reports are never held.
    std::shared_ptr<Gate> m_submissionGate;
    mutable int m_grabs = 0;
    const ThemePalette &palette = ThemePalette::colors();

    QQuickItem *item(const char *name) const {
        return m_view->rootObject()->findChild<QQuickItem *>(QString::fromLatin1(name));
    }
    // Every grab is also saved when QOLVI_SCREENSHOT_DIR names a folder, to be looked at.
    QImage grab() const {
        const QImage image = m_view->grabWindow();
        if (const QString folder = qEnvironmentVariable("QOLVI_SCREENSHOT_DIR");
            !folder.isEmpty()) {
            image.save(QStringLiteral("%1/%2-%3.png")
                           .arg(folder, QString::fromLatin1(QTest::currentTestFunction()))
                           .arg(m_grabs++));
        }
        return image;
    }
    QColor pixelAt(const QImage &image, QPointF point) const {
        const qreal ratio = image.devicePixelRatio();
        return image.pixelColor(int(point.x() * ratio), int(point.y() * ratio));
    }
    QPointF centreOf(QQuickItem *target) const {
        return target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    }
    QPointF insidePlate(QQuickItem *target) const {
        // Away from the caption, near the plate's left edge.
        return target->mapToScene(QPointF(5, target->height() / 2));
    }
    // The service answers accepted, but only once releaseSubmissions() is called.
    void holdSubmissions() {
        m_submissionGate = std::make_shared<Gate>();
        m_server->onRequest(
            [gate = m_submissionGate](const RawRequest &, int, RawConnection &connection) {
                gate->waitOpen();
                connection.send(FaultServer::answer(200, accepted));
            });
    }
    void releaseSubmissions() {
        if (m_submissionGate) {
            m_submissionGate->open();
        }
    }
    void typeKey(const QString &text) {
        for (const QChar character : text) {
            QTest::keyClick(m_view.get(), character.toLatin1());
        }
    }
    void connectAgent() {
        m_agent->setExamKey(QStringLiteral("K-1"));
        m_agent->submitExamKey();
        QTRY_VERIFY_WITH_TIMEOUT(m_agent->isConnected() && !m_agent->isLoading(), 10000);
    }

private slots:
    void initTestCase() { QQuickStyle::setStyle(QStringLiteral("Basic")); }

    void init() {
        SystemAppearance::shared().setColorScheme(ColorScheme::light);
        AlertManager::shared().hideAlert();
        AlertManager::shared().setHideDelay(AlertManager::productHideDelay);
        m_probe = std::make_shared<AgentProbe>();
        m_server = std::make_unique<FaultServer>();
        m_submissionGate.reset();
        m_server->answerEvery(200, accepted);
        // Reports are driven by hand, so nothing changes under the checks.
        m_agent = std::make_unique<ContentView>(testConfig(m_server->baseUrl(), m_probe, 1h));
        m_view = std::make_unique<QQuickView>();
        m_view->engine()->addImageProvider(QString::fromLatin1(PngImageProvider::id),
                                           new PngImageProvider);
        m_view->setInitialProperties({{"agent", QVariant::fromValue(m_agent.get())}});
        m_view->setResizeMode(QQuickView::SizeRootObjectToView);
        m_view->setSource(QUrl(QStringLiteral("qrc:/Qolvi/MainScreen.qml")));
        QVERIFY2(m_view->status() == QQuickView::Ready,
                 qPrintable(QDebug::toString(m_view->errors())));
        m_view->resize(640, 520);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup() {
        releaseSubmissions();
        m_view.reset();
        m_agent.reset();
        m_server.reset();
    }

    void keyEntry() {
        QCOMPARE(item("heading")->property("text").toString(),
                 QStringLiteral("ENTER YOUR EXAM KEY IN THE BOX BELOW"));
        QVERIFY(item("keyField")->isEnabled());
        QCOMPARE(item("keyField")->property("text").toString(), QString());
        QCOMPARE(item("keyField")->property("placeholderText").toString(), QString());
        QVERIFY(item("keyButton")->isVisible());
        QVERIFY(item("keyButton")->isEnabled());
        QCOMPARE(item("busyIndicator"), nullptr);
        QVERIFY(!item("connectedGroup")->isVisible());
        QCOMPARE(item("bannerPlate"), nullptr);
        QCOMPARE(item("logo")->width(), 200.0);
        QVERIFY(item("logo")->property("source").toString().endsWith("logo-dark"));
        // The report timer started when the screen was shown.
        QVERIFY(m_agent->timer() != nullptr);

        const QImage image = grab();
        QVERIFY(near(pixelAt(image, {3, 3}), palette.snow()));
        QVERIFY(near(pixelAt(image, insidePlate(item("keyButton"))), palette.crimson()));

        // The logo is drawn 200 wide: its artwork (400 wide, 4 of margin on the left, the word
        // ending at 374) lands between 2 and 187 of those 200.
        QQuickItem *logo = item("logo");
        const QPointF logoLeft = logo->mapToScene(QPointF(0, logo->height() / 2));
        int drawnLeft = -1;
        int drawnRight = -1;
        for (int x = 0; x < m_view->width(); ++x) {
            if (!near(pixelAt(image, {double(x), logoLeft.y()}), palette.snow(), 8)) {
                drawnLeft = drawnLeft < 0 ? x : drawnLeft;
                drawnRight = x;
            }
        }
        const int left = drawnLeft - int(logoLeft.x());
        const int right = drawnRight - int(logoLeft.x());
        QVERIFY2(std::abs(left - 2) <= 1 && std::abs(right - 187) <= 2,
                 qPrintable(QStringLiteral("%1..%2").arg(left).arg(right)));
    }

    void typingWritesTheKeyAndReturnSubmitsNothing() {
        item("keyField")->forceActiveFocus();
        typeKey(QStringLiteral("k-1 "));
        QCOMPARE(m_agent->examKey(), QStringLiteral("k-1 "));
        // A submission would start loading at once, before anything goes out.
        QSignalSpy loading(m_agent.get(), &ContentView::isLoadingChanged);
        QTest::keyClick(m_view.get(), Qt::Key_Return);
        QTest::keyClick(m_view.get(), Qt::Key_Enter);
        QCOMPARE(loading.count(), 0);
        QVERIFY(!AlertManager::shared().isVisible());

        // Tab reaches the key button and Space presses it.
        QTest::keyClick(m_view.get(), Qt::Key_Tab);
        QVERIFY(item("keyButton")->hasActiveFocus());
        QTest::keyClick(m_view.get(), Qt::Key_Space);
        QTRY_COMPARE(m_server->requestCount(), 1);
        QCOMPARE(m_server->requests().front().body,
                 std::string(R"({"accessKey":"k-1 ","processNames":[]})"));

        // Connected, the keyboard is on "BEGIN THE EXAM": Space opens the exam site and never
        // sends the key again, however often the reports come and go.
        QTRY_VERIFY_WITH_TIMEOUT(m_agent->isConnected() && !m_agent->isLoading(), 10000);
        QVERIFY(item("beginButton")->hasActiveFocus());
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        m_agent->reportTick();
        QTRY_VERIFY_WITH_TIMEOUT(!m_agent->isLoading(), 10000);
        QTest::keyClick(m_view.get(), Qt::Key_Space);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl("https://exam.example.test")});
        QTest::keyClick(m_view.get(), Qt::Key_Tab);
        QTest::keyClick(m_view.get(), Qt::Key_Space);
        QCOMPARE(m_server->requestCount(), 2);
        QVERIFY(!item("keyButton")->hasActiveFocus());

        // The service ends the connection: the keyboard is back in the key field.
        m_server->answerEvery(200, R"({"validationErrors":[],"hasError":true})");
        m_agent->reportTick();
        QTRY_VERIFY_WITH_TIMEOUT(!m_agent->isConnected(), 10000);
        QVERIFY(item("keyField")->hasActiveFocus());
    }

    // Visible where a keyboard user looks: at least 3:1 against the background around it.
    void theFocusRingStandsOut_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("dark");
        QTest::newRow("key button, light") << "keyButton" << false;
        QTest::newRow("key button, dark") << "keyButton" << true;
        QTest::newRow("begin button, light") << "beginButton" << false;
        QTest::newRow("begin button, dark") << "beginButton" << true;
    }

    void theFocusRingStandsOut() {
        QFETCH(QString, button);
        QFETCH(bool, dark);
        SystemAppearance::shared().setColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
        if (button == "beginButton") {
            connectAgent();
        }
        QQuickItem *target = item(qPrintable(button));
        for (int tabs = 0; tabs < 4 && !target->hasActiveFocus(); ++tabs) {
            QTest::keyClick(m_view.get(), Qt::Key_Tab);
        }
        QVERIFY(target->hasActiveFocus());
        QVERIFY(target->findChild<QQuickItem *>("focusRing")->isVisible());
        const QImage image = grab();
        // Just left of the plate, halfway down: the ring, then the background beyond it.
        const QPointF ring = target->mapToScene(QPointF(-3, target->height() / 2));
        const QPointF beyond = target->mapToScene(QPointF(-8, target->height() / 2));
        const double ratio = contrast(pixelAt(image, ring), pixelAt(image, beyond));
        QVERIFY2(ratio >= 3.0, qPrintable(QString::number(ratio)));
    }

    void loadingDisablesAndShowsTheIndicator() {
        holdSubmissions();
        m_agent->setExamKey(QStringLiteral("K-1"));
        QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, centreOf(item("keyButton")).toPoint());
        QTRY_VERIFY(m_agent->isLoading());
        QCOMPARE(item("heading")->property("text").toString(),
                 QStringLiteral("ENTER YOUR EXAM KEY IN THE BOX BELOW"));
        QVERIFY(!item("keyField")->isEnabled());
        QCOMPARE(item("keyField")->property("text").toString(), QStringLiteral("K-1"));
        QVERIFY(!item("keyButton")->isEnabled());
        QTRY_VERIFY(item("busyIndicator") != nullptr);
        QCOMPARE(item("busyIndicator")->scale(), 0.5);

        // The disabled plate is crimson at 60 % over the background.
        QTRY_VERIFY(near(pixelAt(grab(), insidePlate(item("keyButton"))),
                         over(palette.crimson(), 0.6, palette.snow())));

        releaseSubmissions();
        QTRY_VERIFY_WITH_TIMEOUT(m_agent->isConnected(), 10000);
        QCOMPARE(item("busyIndicator"), nullptr);
    }

    void connected() {
        connectAgent();
        QCOMPARE(item("heading")->property("text").toString(), QStringLiteral("YOUR EXAM KEY"));
        QVERIFY(!item("keyField")->isEnabled());
        QCOMPARE(item("keyField")->property("text").toString(), QStringLiteral("K-1"));
        QVERIFY(!item("keyButton")->isVisible());
        QVERIFY(item("connectedGroup")->isVisible());
        QCOMPARE(item("connectedLabel")->property("text").toString(), QStringLiteral("CONNECTED"));
        QCOMPARE(item("connectedLabel")->property("color").value<QColor>(), palette.mint());
        QCOMPARE(item("beginButton")->property("text").toString(),
                 QStringLiteral("BEGIN THE EXAM"));
        QVERIFY(item("beginButton")->isEnabled());
        QVERIFY(near(pixelAt(grab(), insidePlate(item("beginButton"))), palette.mint()));

        // A report in flight changes nothing on screen, nor what assistive technology hears of
        // the hidden key button.
        m_agent->reportTick();
        QVERIFY(m_agent->isLoading());
        QVERIFY(item("keyButton")->isEnabled());
        QCOMPARE(item("busyIndicator"), nullptr);
        QVERIFY(item("beginButton")->isEnabled());
        QVERIFY(item("connectedGroup")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!m_agent->isLoading(), 10000);
    }

    void bannerAtTheTopCentreGoesOnAClick() {
        AlertManager::shared().showAlert(QStringLiteral("Please enter the exam key."),
                                         AlertType::danger);
        QTRY_VERIFY(item("bannerPlate") != nullptr);
        QQuickItem *plate = item("bannerPlate");
        QCOMPARE(item("bannerText")->property("text").toString(),
                 QStringLiteral("Please enter the exam key."));
        const QPointF topLeft = plate->mapToScene(QPointF(0, 0));
        QVERIFY(std::abs(topLeft.x() + plate->width() / 2 - m_view->width() / 2.0) <= 1);
        QCOMPARE(topLeft.y(), 12.0);
        QVERIFY(near(pixelAt(grab(), plate->mapToScene(QPointF(3, plate->height() / 2))),
                     over(palette.rose(), 0.85, palette.snow())));

        QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, centreOf(plate).toPoint());
        QTRY_COMPARE(item("bannerPlate"), nullptr);
        QVERIFY(!AlertManager::shared().isVisible());
    }

    void bannerShowsLongAndMarkupTextLiterally() {
        const QString text = QStringLiteral("<b>*not bold*</b> ") + QString(40, QChar('w')) +
                             QStringLiteral(" and more words to wrap");
        AlertManager::shared().showAlert(text, AlertType::def);
        QTRY_VERIFY(item("bannerPlate") != nullptr);
        QCOMPARE(item("bannerText")->property("text").toString(), text);
        QCOMPARE(item("bannerText")->property("textFormat").toInt(), int(Qt::PlainText));
        QVERIFY(item("bannerPlate")->width() <= m_view->width() - 24);
        QVERIFY(item("bannerPlate")->height() > 50); // wrapped onto more lines
        QVERIFY(near(pixelAt(grab(), item("bannerPlate")->mapToScene(QPointF(3, 10))),
                     over(palette.crimson(), 0.85, palette.snow())));
    }

    void buttonsGrowUnderThePointerAndWhilePressed() {
        QQuickItem *button = item("keyButton");
        const QPoint centre = centreOf(button).toPoint();
        QCOMPARE(button->property("drawnScale").toReal(), 1.0);
        QTest::mouseMove(m_view.get(), centre);
        QTRY_COMPARE(button->property("drawnScale").toReal(), 1.05);
        // Changes elsewhere on the screen keep the hover.
        m_agent->setExamKey(QStringLiteral("typed"));
        AlertManager::shared().showAlert(QStringLiteral("x"), AlertType::danger);
        QTest::qWait(150);
        QCOMPARE(button->property("drawnScale").toReal(), 1.05);
        AlertManager::shared().hideAlert();
        // Drawing only: the layout does not move.
        const QRectF layout(button->position(), button->size());
        QTest::mousePress(m_view.get(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(std::abs(button->property("drawnScale").toReal() - 1.071) < 1e-9);
        QCOMPARE(QRectF(button->position(), button->size()), layout);
        QVERIFY(button->mapRectToScene(button->boundingRect()).width() > layout.width() * 1.07);
        QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseMove(m_view.get(), QPoint(1, 1));
        QTRY_COMPARE(button->property("drawnScale").toReal(), 1.0);
        QCOMPARE(button->mapRectToScene(button->boundingRect()).size(), layout.size());
    }

    void appearanceSwitchesLive() {
        connectAgent();
        QQuickItem *instructions = item("instructions");
        const auto instructionColor = [instructions] {
            return instructions->childItems().front()->property("color").value<QColor>();
        };
        QCOMPARE(instructionColor(), palette.navy());
        QVERIFY(near(pixelAt(grab(), {3, 3}), palette.snow()));

        SystemAppearance::shared().setColorScheme(ColorScheme::dark);
        QVERIFY(m_agent->isDarkAppearance());
        QVERIFY(near(pixelAt(grab(), {3, 3}), palette.navy()));
        QVERIFY(item("logo")->property("source").toString().endsWith("logo-white"));
        QCOMPARE(instructionColor(), palette.white());
        QCOMPARE(item("heading")->property("color").value<QColor>(), palette.white());
        // Everything else keeps its colour.
        QCOMPARE(item("connectedLabel")->property("color").value<QColor>(), palette.mint());
        QCOMPARE(item("keyField")->property("color").value<QColor>(), palette.navy());
        QVERIFY(near(pixelAt(grab(), insidePlate(item("beginButton"))), palette.mint()));
        QCOMPARE(item("logo")->width(), 200.0);

        SystemAppearance::shared().setColorScheme(ColorScheme::light);
        QVERIFY(near(pixelAt(grab(), {3, 3}), palette.snow()));
        QCOMPARE(instructionColor(), palette.navy());
    }

    void theWindowNeverShrinksBelowItsContent() {
        QQmlApplicationEngine engine;
        engine.addImageProvider(QString::fromLatin1(PngImageProvider::id), new PngImageProvider);
        engine.load(QUrl(QStringLiteral("qrc:/Qolvi/Main.qml")));
        auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
        QVERIFY(window != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *screen = window->findChild<QQuickItem *>("mainScreen");
        QVERIFY(screen != nullptr);
        const QSize content(qCeil(screen->property("preferredWidth").toReal()),
                            qCeil(screen->property("preferredHeight").toReal()));
        // The window manager holds the window to this size hint; the window opens at it.
        QCOMPARE(window->minimumSize(), content);
        QCOMPARE(window->size(), content);
    }

    void controlsHaveAccessibleNamesAndRoles() {
        const std::pair<const char *, QAccessible::Role> controls[] = {
            {"keyField", QAccessible::EditableText},
            {"keyButton", QAccessible::Button},
            {"heading", QAccessible::Heading},
            {"busyIndicator", QAccessible::Indicator},
        };
        // Hold a submission so the activity indicator is there too.
        holdSubmissions();
        m_agent->setExamKey(QStringLiteral("K-1"));
        m_agent->submitExamKey();
        QTRY_VERIFY(item("busyIndicator") != nullptr);
        for (const auto &[name, role] : controls) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(item(name));
            QVERIFY2(accessible != nullptr, name);
            QCOMPARE(accessible->role(), role);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), name);
        }
        // Qt 6.4 reports no disabled state for Quick items; a field that cannot be edited is
        // read-only to assistive technology.
        QAccessibleInterface *field = QAccessible::queryAccessibleInterface(item("keyField"));
        QVERIFY(field->state().readOnly);
        releaseSubmissions();
        QTRY_VERIFY_WITH_TIMEOUT(m_agent->isConnected(), 10000);
        QVERIFY(field->state().readOnly);
    }
};

QTEST_MAIN(MainScreenTest)
#include "tst_mainscreen.moc"
