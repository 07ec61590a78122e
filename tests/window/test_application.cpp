// An exception that escapes a handler is shown once and ends the program
// with exit code 1.

#include "PanelApplication.h"

#include <QTimer>
#include <QtTest>

#include <stdexcept>

class TestApplication : public QObject {
    Q_OBJECT

private slots:
    void normal_end_is_zero();
    void escaped_exception_data();
    void escaped_exception();

public:
    PanelApplication *app = nullptr;
};

void TestApplication::normal_end_is_zero()
{
    QStringList reports;
    app->set_error_display([&reports](const QString &text) { reports << text; });
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCOMPARE(app->run(), 0);
    QVERIFY(!app->failed());
    QVERIFY(reports.isEmpty());
}

void TestApplication::escaped_exception_data()
{
    QTest::addColumn<bool>("standard");
    QTest::addColumn<QString>("shown");
    QTest::newRow("std::exception") << true << "port table corrupted";
    QTest::newRow("anything else") << false << "";
}

void TestApplication::escaped_exception()
{
    QFETCH(bool, standard);
    QFETCH(QString, shown);
    QStringList reports;
    app->set_error_display([&reports](const QString &text) { reports << text; });

    // Two handlers that throw in the same run of the loop: one report only.
    // (They run from timers: a throw that unwinds through a widget's mouse
    // handling leaks the event's own data inside Qt.)
    const auto handler = [standard] {
        if (standard)
            throw std::runtime_error("port table corrupted");
        throw 42;
    };
    QTimer::singleShot(0, handler);
    QTimer::singleShot(0, handler);
    // A guard against a loop that would never end; a passing run never gets there.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QCOMPARE(app->run(), PanelApplication::kExitFailure);
    QCOMPARE(reports, QStringList{shown});
    QVERIFY(app->failed());
}

int main(int argc, char **argv)
{
    PanelApplication app(argc, argv);
    TestApplication test;
    test.app = &app;
    return QTest::qExec(&test, argc, argv);
}

#include "test_application.moc"
