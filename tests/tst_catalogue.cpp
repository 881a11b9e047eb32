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

    // The document's form, and points x scale of every slot is the pixel size paired with its
    // file; every file fills at least one slot.
    QCOMPARE(keySet(c.contents), (QSet<QString>{"images", "info"}));
    QCOMPARE(c.contents["info"].toObject(), (QJsonObject{{"version", 1}, {"author", "xcode"}}));
    QVERIFY(c.contents["info"].toObject()["version"].isDouble());
    const QSet<QString> members{"size", "idiom", "filename", "scale"};
    QSet<QString> named;
    for (const QJsonValue &value : c.contents["images"].toArray()) {
        const QJsonObject entry = value.toObject();
        QCOMPARE(keySet(entry), members);
        for (const QString &key : members)
            QVERIFY(entry[key].isString());
        const QString size = entry["size"].toString();
        QVERIFY(QRegularExpression("^[0-9.]+x[0-9.]+$").match(size).hasMatch());
        const QString file = entry["filename"].toString();
        const int position = c.names.indexOf(file);
        QVERIFY2(position >= 0, qPrintable(file));
        QCOMPARE(size.section('x', 0, 0).toDouble() * entry["scale"].toString().chopped(1).toInt(),
                 double(c.sizes[position]));
        named.insert(file);
    }
    QCOMPARE(named.size(), files);
    QCOMPARE(catalogue(which).contents, c.contents); // every call builds equal content

    // Written pretty-printed, and the text parses back to the same data.
    const QByteArray text = AssetExporter::serialise(c.contents);
    QVERIFY(text.count('\n') > 20);
    QVERIFY(text.contains("\"version\": 1"));
    QJsonParseError error;
    QCOMPARE(QJsonDocument::fromJson(text, &error).object(), c.contents);
    QCOMPARE(error.error, QJsonParseError::NoError);
}

void CatalogueTest::imageSetDocument()
{
    const ImageSetDescription set(20, 10, "my logo");
    QCOMPARE(set.fileNameForIndex((std::int64_t(1) << 32) + 1), QString("my logo@1x.png"));
    QCOMPARE(set.folderName(), QString("my logo.imageset"));
    const QStringList names{"my logo.png", "my logo@2x.png", "my logo@3x.png"};
    const QJsonArray images = set.contents()["images"].toArray();
    QCOMPARE(images.size(), 3);
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(set.fileNameForIndex(k + 1), names[k]);
        QCOMPARE(images[k].toObject(), (QJsonObject{{"idiom", "universal"},
                                                    {"filename", names[k]},
                                                    {"scale", QString("%1x").arg(k + 1)}}));
    }
    QCOMPARE(set.contents()["info"].toObject(), QVIconData::info());
    // Sizes past the 32-bit range are carried exactly, not wrapped.
    QCOMPARE(ImageSetDescription(2147483647, 1, "x").sizes().last(), QSizeF(6442450941.0, 3));
}

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
