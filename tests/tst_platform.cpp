#include "TestFiles.h"
#include "platform/FileSystem.h"

#include <QTemporaryDir>

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    // Every byte arrives, however few, over an older file or none, and nothing else is left
    // beside it; a write into a missing folder fails, says why and leaves nothing.
    void writesWholeFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("replacing");
        QTest::newRow("empty") << "file" << QByteArray() << false;
        QTest::newRow("one byte") << "file" << QByteArray("x") << false;
        QTest::newRow("one byte over more") << "file" << QByteArray("y") << true;
        QTest::newRow("two bytes") << "file" << QByteArray("xy") << false;
        QTest::newRow("a few megabytes") << "file" << QByteArray(3 << 20, 'z') << true;
        QTest::newRow("no folder") << "none/file" << QByteArray("x") << false;
    }

    void writesWholeFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, replacing);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (replacing)
            QVERIFY(writeFile(path, "an older and longer text"));
        const bool ok = name == "file";
        QString error;
        QCOMPARE(FileSystem::writeFileAtomically(path, bytes, &error), ok);
        QVERIFY2(error.isEmpty() == ok, qPrintable(error));
        QCOMPARE(bytesOf(path), ok ? bytes : QByteArray());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 ok ? QStringList{"file"} : QStringList());
    }

    // One folder is made, never its parents; a folder is synced without leaving a descriptor
    // open, and a missing one is no harm.
    void folders()
    {
        QTemporaryDir dir;
        QVERIFY(FileSystem::createFolder(dir.filePath("a")));
        QVERIFY(FileSystem::createFolder(dir.filePath("a"))); // already there
        QVERIFY(!FileSystem::createFolder(dir.filePath("b/c")));
        QVERIFY(!QFileInfo::exists(dir.filePath("b")));
        const auto descriptors = [] {
            return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System).size();
        };
        const qsizetype before = descriptors();
        FileSystem::syncFolder(dir.path());
        FileSystem::syncFolder(dir.filePath("missing"));
        QCOMPARE(descriptors(), before);
    }
};

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
