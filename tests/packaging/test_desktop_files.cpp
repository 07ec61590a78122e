// The desktop entry, the AppStream metainfo and the icon that are installed
// with the panel: the validators the desktops use accept them (and reject
// them with a required key taken out, so a verdict means something), their
// names agree with each other, and the icon is a square SVG.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString kAppId = QStringLiteral("org.qor.atlys_panel");

QString packaging_file(const QString &suffix)
{
    return QStringLiteral(ATLYS_PACKAGING_DIR "/") + kAppId + suffix;
}

QByteArray read_all(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of `key` in the [Desktop Entry] group.
QString entry_value(const QByteArray &entry, const QString &key)
{
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(key)),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(entry)).captured(1);
}

} // namespace

class TestDesktopFiles : public QObject {
    Q_OBJECT

private slots:
    void validators_data();
    void validators();
    void names_agree();
    void icon_is_square_svg();
};

void TestDesktopFiles::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("dropped"); // a line taken out first; empty: the file as installed
    QTest::addColumn<bool>("valid");

    const QStringList desktop_args;
    const QStringList appstream_args{"validate", "--no-net"};
    QTest::newRow("desktop entry") << "desktop-file-validate"
                                   << "desktop-file-utils" << desktop_args << ".desktop"
                                   << "" << true;
    QTest::newRow("desktop entry without Type")
        << "desktop-file-validate"
        << "desktop-file-utils" << desktop_args << ".desktop"
        << "Type=Application" << false;
    QTest::newRow("metainfo") << "appstreamcli"
                              << "appstream" << appstream_args << ".metainfo.xml"
                              << "" << true;
    QTest::newRow("metainfo without summary") << "appstreamcli"
                                              << "appstream" << appstream_args << ".metainfo.xml"
                                              << "  <summary>" << false;
}

void TestDesktopFiles::validators()
{
    QFETCH(QString, tool);
    QFETCH(QString, package);
    QFETCH(QStringList, arguments);
    QFETCH(QString, suffix);
    QFETCH(QString, dropped);
    QFETCH(bool, valid);

    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + " is not installed (Debian package " + package +
                         "); scripts/test installs it"));

    QString path = packaging_file(suffix);
    QTemporaryDir dir;
    if (!dropped.isEmpty()) {
        QVERIFY(dir.isValid());
        QByteArray text = read_all(path);
        const qsizetype at = text.indexOf(dropped.toUtf8());
        QVERIFY2(at >= 0 && (at == 0 || text.at(at - 1) == '\n'), qPrintable(dropped));
        text.remove(at, text.indexOf('\n', at) + 1 - at);
        path = dir.filePath(kAppId + suffix);
        QFile copy(path);
        QVERIFY(copy.open(QIODevice::WriteOnly));
        QCOMPARE(copy.write(text), text.size());
    }

    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(program, arguments + QStringList{path});
    QVERIFY2(run.waitForFinished(60000), qPrintable(run.errorString()));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    const QString output = QString::fromLocal8Bit(run.readAll()).trimmed();
    qInfo().noquote() << tool << QFileInfo(path).fileName() << "->" << run.exitCode()
                      << (output.isEmpty() ? QStringLiteral("(no output)") : output);
    if (valid) {
        QVERIFY2(run.exitCode() == 0, qPrintable(output));
        // desktop-file-validate prints hints and warnings even when it passes.
        if (tool == QLatin1String("desktop-file-validate"))
            QVERIFY2(output.isEmpty(), qPrintable(output));
        QVERIFY2(!output.contains(QRegularExpression(QStringLiteral("^[EW]: "),
                                                     QRegularExpression::MultilineOption)),
                 qPrintable(output));
    } else {
        QVERIFY2(run.exitCode() != 0, qPrintable(output));
    }
}

// The menu entry starts the installed panel and shows the installed icon;
// the metainfo describes that entry.
void TestDesktopFiles::names_agree()
{
    const QByteArray entry = read_all(packaging_file(".desktop"));
    QVERIFY(!entry.isEmpty());
    QVERIFY(entry.startsWith("[Desktop Entry]\n"));
    QCOMPARE(entry_value(entry, "Exec"), QStringLiteral(ATLYS_PANEL_PROGRAM));
    QCOMPARE(entry_value(entry, "Icon"), kAppId);
    QVERIFY(QFile::exists(packaging_file(".svg")));
    QCOMPARE(entry_value(entry, "Terminal"), QStringLiteral("false"));

    QXmlStreamReader meta(read_all(packaging_file(".metainfo.xml")));
    QString id, launchable, type;
    QStringList binaries;
    while (!meta.atEnd()) {
        if (meta.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (meta.name() == QLatin1String("component"))
            type = meta.attributes().value("type").toString();
        else if (meta.name() == QLatin1String("id"))
            id = meta.readElementText();
        else if (meta.name() == QLatin1String("launchable"))
            launchable = meta.readElementText();
        else if (meta.name() == QLatin1String("binary"))
            binaries << meta.readElementText();
    }
    QVERIFY2(!meta.hasError(), qPrintable(meta.errorString()));
    QCOMPARE(type, QStringLiteral("desktop-application"));
    QCOMPARE(id, kAppId);
    QCOMPARE(launchable, kAppId + ".desktop");
    QCOMPARE(binaries, (QStringList{ATLYS_PANEL_PROGRAM, ATLYS_SIM_PROGRAM}));
}

// A scalable icon in the hicolor theme: well-formed SVG on a square canvas.
void TestDesktopFiles::icon_is_square_svg()
{
    QXmlStreamReader svg(read_all(packaging_file(".svg")));
    QVERIFY(svg.readNextStartElement());
    QCOMPARE(svg.name().toString(), QStringLiteral("svg"));
    QCOMPARE(svg.namespaceUri().toString(), QStringLiteral("http://www.w3.org/2000/svg"));
    const QStringList box = svg.attributes().value("viewBox").toString().split(' ');
    QCOMPARE(box.size(), 4);
    QVERIFY(box.at(2).toDouble() > 0);
    QCOMPARE(box.at(2), box.at(3));
    int shapes = 0;
    while (!svg.atEnd()) {
        if (svg.readNext() == QXmlStreamReader::StartElement)
            ++shapes;
    }
    QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
    QVERIFY(shapes > 0);
}

QTEST_GUILESS_MAIN(TestDesktopFiles)
#include "test_desktop_files.moc"
