// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that hand a picture file to the desktop: Open With from temporary XDG
// associations, Show in File Manager over a private session bus and without one.

#include "environmentguard.h"
#include "fileactions.h"
#include "processes.h"

#include <QAction>
#include <QDBusConnection>
#include <QMenu>
#include <QProcess>
#include <QtTest>

#include <memory>

// Answers ShowItems as a file manager would.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList &uris, const QString &) { shown << uris; }
};

class FileActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void openWithAndShowInFileManagerStartWhatTheDesktopNames();

private:
    QString picture() const { return dir.filePath("a b.jpg"); }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<EnvironmentGuard>> environment;
    QProcess bus;
    FakeFileManager fileManager;
};

void FileActionsTest::initTestCase()
{
    const auto write = [this](const QString &name, const QString &text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0;
    };
    for (const char *folder : {"bin", "data/applications", "config"})
        QVERIFY(QDir(dir.path()).mkpath(folder));
    // Only these associations, and the machine's MIME types: its applications stay out.
    for (const QString folder : {"data", "config"}) {
        for (const QString end : {"HOME", "DIRS"})
            environment.push_back(std::make_unique<EnvironmentGuard>(
                ("XDG_" + folder.toUpper() + "_" + end).toLatin1().constData(),
                QFile::encodeName(dir.filePath(folder))));
    }
    QVERIFY(QFile::link("/usr/share/mime", dir.filePath("data/mime")));
    environment.push_back(std::make_unique<EnvironmentGuard>(
        "PATH", EnvironmentGuard::pathWithFirst(dir.filePath("bin"))));
    const QByteArray record = " \"$@\" > '" + QFile::encodeName(dir.path()) + "/started'";
    QVERIFY(writeScript(dir.filePath("bin/record"), "printf '%s\\n'" + record));
    QVERIFY(writeScript(dir.filePath("bin/xdg-open"), "printf '%s\\n' xdg-open" + record));
    for (const QString name : {"Alpha", "Zeta"}) {
        QVERIFY(write("data/applications/" + name.toLower() + ".desktop",
                      QString("[Desktop Entry]\nType=Application\nName=%1 Viewer\n"
                              "Exec=%2 %1 %f\nMimeType=image/jpeg;\n")
                          .arg(name, dir.filePath("bin/record"))));
    }
    // As update-desktop-database leaves it, and the desktop's choice of a default.
    QVERIFY(write("data/applications/mimeinfo.cache",
                  "[MIME Cache]\nimage/jpeg=alpha.desktop;zeta.desktop;\n"));
    QVERIFY(write("config/mimeapps.list", "[Default Applications]\nimage/jpeg=zeta.desktop\n"));
    QVERIFY(write("a b.jpg", "named as a JPEG file"));

    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                              "--address=unix:path=" + dir.filePath("bus")});
    QVERIFY(bus.waitForReadyRead());
    const QByteArray address = bus.readLine().trimmed();
    // GIO tells the session bus what it starts: this one, rather than one it would start itself.
    environment.push_back(std::make_unique<EnvironmentGuard>("DBUS_SESSION_BUS_ADDRESS", address));
    QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(address), "bus");
    QVERIFY(service.registerService("org.freedesktop.FileManager1"));
    QVERIFY(service.registerObject("/org/freedesktop/FileManager1", &fileManager,
                                   QDBusConnection::ExportAllSlots));
}

void FileActionsTest::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus("bus");
    bus.kill();
    QVERIFY(bus.waitForFinished());
    QTRY_COMPARE(childProcesses(), QList<qint64>());
}

void FileActionsTest::openWithAndShowInFileManagerStartWhatTheDesktopNames()
{
    // What the fake program last started was given, one argument a line.
    const auto started = [this] {
        QFile file(dir.filePath("started"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // Open With: each application once, the default first, started with the file.
    FileActions actions(nullptr, "bus");
    actions.setFile(picture());
    QMenu *menu = actions.openWithAction()->menu();
    emit menu->aboutToShow();
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions().first()->text(), "Zeta Viewer");
    menu->actions().first()->trigger();
    QTRY_COMPARE(started(), "Zeta\n" + picture() + "\n");

    // Show in File Manager: the file selected in its folder, named by its URI; without a bus,
    // the folder opened by the desktop's handler.
    actions.showInFileManagerAction()->trigger();
    QTRY_COMPARE(fileManager.shown, QStringList(QUrl::fromLocalFile(picture()).toEncoded()));
    FileActions offBus(nullptr, "none");
    offBus.setFile(picture());
    offBus.showInFileManagerAction()->trigger();
    QTRY_COMPARE(started(), "xdg-open\n" + QUrl::fromLocalFile(dir.path()).toString() + "\n");
}

QTEST_MAIN(FileActionsTest)
#include "tst_fileactions.moc"
