// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that hand a picture file to the desktop: Open With from temporary XDG
// associations, Show in File Manager over a private session bus and without one.

#include "environmentguard.h"
#include "fileactions.h"
#include "processes.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusContext>
#include <QMenu>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

// Answers ShowItems as a file manager would, or refuses it.
class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    bool refuse = false;
    QStringList shown;

public slots:
    void ShowItems(const QStringList &uris, const QString &)
    {
        if (refuse)
            sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
        else
            shown << uris;
    }
};

class FileActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void openWithListsTheDefaultFirstAndStartsItWithTheFile();
    void showInFileManager_data();
    void showInFileManager();

private:
    QString picture() const { return dir.filePath("a b.jpg"); }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<EnvironmentGuard>> environment;
    QProcess bus;
    QString busAddress;
    FakeFileManager fileManager;
};

void FileActionsTest::initTestCase()
{
    QVERIFY(dir.isValid());
    for (const char *folder : {"bin", "data/applications", "config"})
        QVERIFY(QDir(dir.path()).mkpath(folder));
    // Only these associations: the machine's own applications stay out.
    for (const char *name : {"XDG_DATA_HOME", "XDG_DATA_DIRS"})
        environment.push_back(
            std::make_unique<EnvironmentGuard>(name, QFile::encodeName(dir.filePath("data"))));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        environment.push_back(
            std::make_unique<EnvironmentGuard>(name, QFile::encodeName(dir.filePath("config"))));
    environment.push_back(std::make_unique<EnvironmentGuard>(
        "PATH", EnvironmentGuard::pathWithFirst(dir.filePath("bin"))));

    // Each fake records what it was started with.
    const QByteArray record = " \"$@\" > '" + QFile::encodeName(dir.path()) + "/started'";
    QVERIFY(writeScript(dir.filePath("bin/record"), "printf '%s\\n'" + record));
    QVERIFY(writeScript(dir.filePath("bin/xdg-open"), "printf '%s\\n' xdg-open" + record));
    for (const QString name : {"Alpha", "Zeta"}) {
        QVERIFY(writeFile(dir.filePath("data/applications/" + name.toLower() + ".desktop"),
                          QString("[Desktop Entry]\nType=Application\nName=%1 Viewer\n"
                                  "Exec=%2 %1 %f\nMimeType=image/jpeg;\n")
                              .arg(name, dir.filePath("bin/record"))
                              .toUtf8()));
    }
    // The machine's MIME types, without its applications.
    QVERIFY(QFile::link("/usr/share/mime", dir.filePath("data/mime")));
    // As update-desktop-database leaves it, and the desktop's choice of a default.
    QVERIFY(writeFile(dir.filePath("data/applications/mimeinfo.cache"),
                      "[MIME Cache]\nimage/jpeg=alpha.desktop;zeta.desktop;\n"));
    QVERIFY(writeFile(dir.filePath("config/mimeapps.list"),
                      "[Default Applications]\nimage/jpeg=zeta.desktop\n"));
    QVERIFY(writeFile(picture(), "\xff\xd8\xff\xe0"));

    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                              "--address=unix:path=" + dir.filePath("bus")});
    QVERIFY(bus.waitForReadyRead());
    busAddress = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection service = QDBusConnection::connectToBus(busAddress, "file manager");
    QVERIFY(service.registerService(kService));
    QVERIFY(service.registerObject("/org/freedesktop/FileManager1", &fileManager,
                                   QDBusConnection::ExportAllSlots));
}

void FileActionsTest::cleanupTestCase()
{
    for (const char *name : {"file manager", "viewer", "no bus"})
        QDBusConnection::disconnectFromBus(name);
    bus.kill();
    QVERIFY(bus.waitForFinished());
    QTRY_COMPARE(childProcesses(), QList<qint64>());
}

void FileActionsTest::openWithListsTheDefaultFirstAndStartsItWithTheFile()
{
    QWidget window;
    FileActions actions(&window);
    actions.setFile(picture());
    QMenu *menu = actions.openWithAction()->menu();
    emit menu->aboutToShow();
    QStringList names;
    for (const QAction *action : menu->actions())
        names << action->text();
    QCOMPARE(names, QStringList({"Zeta Viewer", "Alpha Viewer"}));
    menu->actions().first()->trigger();
    QTRY_COMPARE(readAll(dir.filePath("started")), "Zeta\n" + picture() + "\n");
}

void FileActionsTest::showInFileManager_data()
{
    QTest::addColumn<bool>("onBus");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QString>("opened"); // what the desktop's handler was started with, if any
    QTest::newRow("the file manager on the bus shows the file") << true << false << "";
    QTest::newRow("the file manager refuses: the folder opens instead") << true << true << "folder";
    QTest::newRow("no session bus: the folder opens") << false << false << "folder";
}

void FileActionsTest::showInFileManager()
{
    QFETCH(bool, onBus);
    QFETCH(bool, refuse);
    QFETCH(QString, opened);
    QFile::remove(dir.filePath("started"));
    fileManager.refuse = refuse;
    fileManager.shown.clear();
    QWidget window;
    FileActions actions(&window, onBus ? QDBusConnection::connectToBus(busAddress, "viewer")
                                       : QDBusConnection::connectToBus(
                                             "unix:path=" + dir.filePath("none"), "no bus"));
    actions.setFile(picture());
    actions.showInFileManagerAction()->trigger();
    if (opened.isEmpty())
        QTRY_COMPARE(fileManager.shown,
                     QStringList(QUrl::fromLocalFile(picture()).toString(QUrl::FullyEncoded)));
    else
        QTRY_COMPARE(readAll(dir.filePath("started")),
                     "xdg-open\n" + QUrl::fromLocalFile(dir.path()).toString() + "\n");
}

QTEST_MAIN(FileActionsTest)
#include "tst_fileactions.moc"
