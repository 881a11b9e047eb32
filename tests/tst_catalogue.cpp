#include "catalogue/ImageSetDescription.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

struct Catalogue
{
    QList<int> sizes;
    QStringList names;
    QJsonObject contents;
};

Catalogue catalogue(const QString &which)
{
    if (which == "ios")
        return {QVIconData::sizesToMakeForIcon(), QVIconData::filenamesForSizes(),
                QVIconData::appIconContents()};
    return {QVIconData::sizesToMakeForIconMac(), QVIconData::filenamesForSizesMac(),
            QVIconData::appIconContentsMac()};
}

// "83.5x83.5" times "2x" -> 167.
double pixelsOf(const QJsonObject &entry)
{
    const QStringList edge = entry["size"].toString().split('x');
    const double scale = entry["scale"].toString().chopped(1).toDouble();
    return edge.at(0).toDouble() * scale;
}

QSet<QString> keySet(const QJsonObject &object)
{
    const QStringList keys = object.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

} // namespace

class CatalogueTest : public QObject
{
    Q_OBJECT
private slots:
    void invariants_data();
    void invariants();
    void documentForm_data();
    void documentForm();
    void writtenTextParsesBack_data();
    void writtenTextParsesBack();
    void imageSetSizes_data();
    void imageSetSizes();
    void imageSetDocument();
};

void CatalogueTest::invariants_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("slotCount");
    QTest::newRow("ios") << "ios" << 13 << 18;
    QTest::newRow("mac") << "mac" << 7 << 10;
}

void CatalogueTest::invariants()
{
    QFETCH(QString, which);
    QFETCH(int, files);
    QFETCH(int, slotCount);
    const Catalogue c = catalogue(which);
    QCOMPARE(c.sizes.size(), files);
    QCOMPARE(c.names.size(), files);
    QCOMPARE(c.contents["images"].toArray().size(), slotCount);

    // Distinct sizes and names: a first-equal search finds each size's own position.
    for (int i = 0; i < c.sizes.size(); ++i)
        QCOMPARE(c.sizes.indexOf(c.sizes[i]), i);
    QCOMPARE(QSet<QString>(c.names.begin(), c.names.end()).size(), files);

    // Points x scale of every slot is the pixel size paired with its file, and every file fills
    // at least one slot.
    QSet<QString> named;
    for (const QJsonValue &value : c.contents["images"].toArray()) {
        const QJsonObject entry = value.toObject();
        const QString file = entry["filename"].toString();
        const int position = c.names.indexOf(file);
        QVERIFY2(position >= 0, qPrintable(file));
        QCOMPARE(pixelsOf(entry), double(c.sizes[position]));
        named.insert(file);
    }
    QCOMPARE(named.size(), files);

    // Every call builds equal content.
    QCOMPARE(catalogue(which).contents, c.contents);
}

void CatalogueTest::documentForm_data()
{
    invariants_data();
}

void CatalogueTest::documentForm()
{
    QFETCH(QString, which);
    const QJsonObject doc = catalogue(which).contents;
    QCOMPARE(keySet(doc), (QSet<QString>{"images", "info"}));
    QCOMPARE(doc["info"].toObject(), (QJsonObject{{"version", 1}, {"author", "xcode"}}));
    QVERIFY(doc["info"].toObject()["version"].isDouble());
    const QSet<QString> members{"size", "idiom", "filename", "scale"};
    for (const QJsonValue &value : doc["images"].toArray()) {
        const QJsonObject entry = value.toObject();
        QCOMPARE(keySet(entry), members);
        for (const QString &key : members)
            QVERIFY(entry[key].isString());
        QVERIFY(QRegularExpression("^[0-9.]+x[0-9.]+$").match(entry["size"].toString()).hasMatch());
    }
}

void CatalogueTest::writtenTextParsesBack_data()
{
    invariants_data();
}

void CatalogueTest::writtenTextParsesBack()
{
    QFETCH(QString, which);
    const QJsonObject doc = catalogue(which).contents;
    const QByteArray text = AssetExporter::serialise(doc);
    QVERIFY(text.count('\n') > 20); // pretty-printed
    QVERIFY(text.contains("\"version\": 1"));
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(parsed.object(), doc);
}

void CatalogueTest::imageSetSizes_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<QSizeF>>("sizes");
    QTest::newRow("100x50") << 100 << 50 << QList<QSizeF>{{100, 50}, {200, 100}, {300, 150}};
    QTest::newRow("0x40") << 0 << 40 << QList<QSizeF>{{0, 40}, {0, 80}, {0, 120}};
    QTest::newRow("32-bit limit") << 2147483647 << 1
                                  << QList<QSizeF>{
                                         {2147483647.0, 1}, {4294967294.0, 2}, {6442450941.0, 3}};
}

void CatalogueTest::imageSetSizes()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QList<QSizeF>, sizes);
    QCOMPARE(ImageSetDescription(width, height, "x").sizes(), sizes);
}

void CatalogueTest::imageSetDocument()
{
    const ImageSetDescription set(20, 10, "my logo");
    QCOMPARE(set.fileNameForIndex(1), QString("my logo.png"));
    QCOMPARE(set.fileNameForIndex(2), QString("my logo@2x.png"));
    QCOMPARE(set.fileNameForIndex(3), QString("my logo@3x.png"));
    QCOMPARE(set.fileNameForIndex((std::int64_t(1) << 32) + 1), QString("my logo@1x.png"));
    QCOMPARE(set.folderName(), QString("my logo.imageset"));
    const QJsonObject doc = set.contents();
    const QJsonArray images = doc["images"].toArray();
    QCOMPARE(images.size(), 3);
    const char *scales[] = {"1x", "2x", "3x"};
    for (int k = 0; k < 3; ++k) {
        const QJsonObject entry = images[k].toObject();
        QCOMPARE(entry, (QJsonObject{{"idiom", "universal"},
                                     {"filename", set.fileNameForIndex(k + 1)},
                                     {"scale", scales[k]}}));
    }
    QCOMPARE(doc["info"].toObject(), QVIconData::info());
}

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
