// Loads the plug-in file the way a host does, without linking any of the module's code.
#include "ModuleVersion.h"
#include "kit/ChildProcess.h"
#include "kit/TestMain.h"
#include "plugin/ModuleInterface.h"

#include <QFile>
#include <QImage>
#include <QLibrary>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QTemporaryDir>

class PluginLoaderTest : public QObject
{
    Q_OBJECT

    QString pluginPath() const { return QString::fromLocal8Bit(qgetenv("ROOMCAL_PLUGIN")); }

    QTemporaryDir m_root;
    // The plug-in file that the installed demo loads by default.
    QString m_installedPlugin;

private slots:
    // First, while nothing has loaded the library yet: its images come with it.
    void metadataBytesAndImages()
    {
        QVERIFY(!QFile::exists(QStringLiteral(":/images/normal.png")));
        QLibrary library(pluginPath());
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        for (const char* image : {"normal.png", "powerwall.png", "powerwall_standing.png",
                                  "mid_camera.png", "mid_camera_tsr3.png", "lock.png"})
            QVERIFY2(!QImage(QStringLiteral(":/images/") + image).isNull(), image);
        using Query = const char* (*)();
        auto query = reinterpret_cast<Query>(library.resolve("qt_plugin_query_metadata"));
        QVERIFY(query);
        QVERIFY(library.resolve("qt_plugin_instance"));

        const QByteArray iid("de.olv.Morvek2.RoomCalModule");
        const QByteArray className("RoomCalModule");
        // Header, Qt version, debug flag (release builds without architecture requirements say
        // 0), then a map of the IID and the class name.
        const QByteArray expected = QByteArray("QTMETADATA !\0", 13) + char(QT_VERSION_MAJOR) +
                                    char(QT_VERSION_MINOR) +
#ifdef QT_NO_DEBUG
                                    char(0) +
#else
                                    char(1) +
#endif
                                    "\xbf\x02\x78" + char(iid.size()) + iid + '\x03' +
                                    char(0x60 + className.size()) + className + '\xff';
        QCOMPARE(QByteArray(query(), expected.size()), expected);
        library.unload();
    }

    void installsIntoAScratchRoot()
    {
        QVERIFY(m_root.isValid());
        qputenv("DESTDIR", QFile::encodeName(m_root.path()));
        int code = 0;
        const QString log = TestKit::runProgram(
            qEnvironmentVariable("CMAKE_COMMAND"),
            {"--install", qEnvironmentVariable("ROOMCAL_BINARY_DIR"), "--prefix", "/usr"}, false,
            &code);
        qunsetenv("DESTDIR");
        QVERIFY2(code == 0, qPrintable(log));

        // Both programs answer --help without a display and name the files they would use: the
        // installed ones, found from where the programs lie.
        const QString usr = QFileInfo(m_root.path()).canonicalFilePath() + "/usr/";
        QString help;
        for (const char* program : {"roomcal-demo", "morvek-sim"}) {
            help += TestKit::runProgram(usr + "bin/" + program, {"--help"}, false, &code);
            QVERIFY2(code == 0, qPrintable(help));
        }
        const auto named = [&help](const QString& name) {
            const QRegularExpression line("^" + name + ": (.+)$",
                                          QRegularExpression::MultilineOption);
            return line.match(help).captured(1);
        };
        m_installedPlugin = named("Plug-in");
        QVERIFY2(m_installedPlugin.startsWith(usr) && QFile::exists(m_installedPlugin),
                 qPrintable(help));
        const QString scenarios = named("Bundled scenarios");
        QVERIFY2(scenarios.startsWith(usr) && QFile::exists(scenarios + "/stall.json"),
                 qPrintable(help));
        QCOMPARE(help.count(scenarios), 2);
    }

    void loadsThroughThePluginLoader_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("built") << pluginPath();
        QTest::newRow("installed") << m_installedPlugin;
    }

    void loadsThroughThePluginLoader()
    {
        QFETCH(QString, path);
        QVERIFY(!path.isEmpty());
        // The metadata's bytes are checked above; the cast below needs the right interface.
        QPluginLoader loader(path);
        QObject* instance = loader.instance();
        QVERIFY2(instance, qPrintable(loader.errorString()));
        auto* module = qobject_cast<ModuleInterface*>(instance);
        QVERIFY(module);
        QCOMPARE(module->moduleVersion(), QStringLiteral("v" ROOMCAL_VERSION));

        delete instance;
        QVERIFY(loader.unload());
    }
};

ROOMCAL_TEST_MAIN(PluginLoaderTest)
#include "tst_pluginloader.moc"
