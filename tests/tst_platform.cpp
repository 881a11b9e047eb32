#include "TestFiles.h"
#include "platform/FileSystem.h"

#include <QTemporaryDir>

namespace {

int openDescriptors()
{
    return int(QDir("/proc/self/fd")
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    // Every byte arrives, however few, over an older file or none.
    void writesWholeFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("replacing");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("one byte") << QByteArray("x") << false;
        QTest::newRow("one byte over more") << QByteArray("y") << true;
        QTest::newRow("two bytes") << QByteArray("xy") << false;
        QTest::newRow("a few megabytes") << QByteArray(3 << 20, 'z') << true;
    }

    void writesWholeFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, replacing);
        QTemporaryDir dir;
        const QString path = dir.filePath("file");
        if (replacing)
            QVERIFY(writeFile(path, "an older and longer text"));
        QString error;
        QVERIFY2(FileSystem::writeFileAtomically(path, bytes, &error), qPrintable(error));
        QCOMPARE(bytesOf(path), bytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});
    }

    void failedWriteSaysWhy()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!FileSystem::writeFileAtomically(dir.filePath("none/file"), "x", &error));
        QVERIFY(!error.isEmpty());
    }

    void createsOneFolder()
    {
        QTemporaryDir dir;
        QVERIFY(FileSystem::createFolder(dir.filePath("a")));
        QVERIFY(FileSystem::createFolder(dir.filePath("a"))); // already there
        QVERIFY(!FileSystem::createFolder(dir.filePath("b/c")));
        QVERIFY(!QFileInfo::exists(dir.filePath("b")));
    }

    // A folder is synced without leaving a descriptor open, and a missing one is no harm.
    void syncsFolder()
    {
        QTemporaryDir dir;
        const int before = openDescriptors();
        FileSystem::syncFolder(dir.path());
        FileSystem::syncFolder(dir.filePath("missing"));
        QCOMPARE(openDescriptors(), before);
    }
};

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
