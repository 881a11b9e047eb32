#include "TestFiles.h"
#include "catalogue/AssetPlan.h"

#include <QJsonArray>

using Platform = AssetPlan::Platform;

namespace {

// A table written as "row name|field|...;next row", all fields text.
void rowsOf(const char *table)
{
    QTest::addColumn<QStringList>("f");
    for (const QString &row : QString(table).split(';'))
        QTest::newRow(qPrintable(row.section('|', 0, 0))) << row.split('|');
}

// Options from words: "single", "dark", "tinted", "back", "bg", "shaped", "name=<name>".
AssetPlan::Options optionsOf(const QString &text)
{
    const QStringList words = text.split(' ', Qt::SkipEmptyParts);
    AssetPlan::Options options;
    options.singleSize = words.contains("single");
    options.dark = words.contains("dark");
    options.tinted = words.contains("tinted");
    options.back = words.contains("back");
    options.background = words.contains("bg") ? QColor(Qt::white) : QColor();
    options.macStyle =
        words.contains("shaped") ? AssetPlan::MacStyle::Shaped : AssetPlan::MacStyle::FullBleed;
    options.name = text.section("name=", 1).section(' ', 0, 0);
    return options;
}

// Each file as "path side" (or "path WxH"), in plan order.
QStringList filesOf(const AssetPlan &plan)
{
    QStringList files;
    for (const AssetPlan::File &file : plan.files)
        files << file.path + ' ' +
                     (file.size.width() == file.size.height()
                          ? QString::number(file.size.width())
                          : QStringLiteral("%1x%2").arg(file.size.width()).arg(file.size.height()));
    return files;
}

QList<QJsonObject> entriesOf(const QJsonObject &document, const QString &list)
{
    QList<QJsonObject> entries;
    for (const QJsonValue &value : document[list].toArray())
        entries << value.toObject();
    return entries;
}

// The documents of a real asset folder, or the ones given, as a merge reads them.
struct Disk
{
    QString root;
    QHash<QString, QJsonObject> given;

    AssetPlan::Existing operator()(const QString &path) const
    {
        if (given.contains(path))
            return {given.value(path), {}};
        if (root.isEmpty() || !QFileInfo::exists(root + '/' + path))
            return {};
        return {readJson(root + '/' + path), {}};
    }
};

const QString Real = QStringLiteral(ASSETSMITH_REAL_CATALOGUES);

} // namespace

class PlanTest : public QObject
{
    Q_OBJECT
private slots:
    // platform|options|folder|entries in the folder's Contents.json|every file and its pixels,
    // from the sizes Xcode asks for; or the refusal's words for options that cannot be written
    void plans_data()
    {
        rowsOf(
            "ios|ios||AppIcon.appiconset|18|Icon-20.png 20,Icon-60.png 60,Icon-Small@2x.png 58,"
            "Icon-Small@3x.png 87,Icon-40@2x.png 80,Icon-60@2x.png 120,Icon-60@3x.png 180,"
            "Icon-Small.png 29,Icon-40.png 40,Icon-76.png 76,Icon-76@2x.png 152,"
            "Icon-83.5@2x.png 167,Icon-1024.png 1024;"
            "ios single|ios|single dark tinted name=AppIcon-Beta|AppIcon-Beta.appiconset|3|"
            "Icon-1024.png 1024,Icon-1024-dark.png 1024,Icon-1024-tinted.png 1024;"
            "mac|mac|shaped|AppIcon.appiconset|10|Icon-16.png 16,Icon-32.png 32,Icon-64.png 64,"
            "Icon-128.png 128,Icon-256.png 256,Icon-512.png 512,Icon-1024.png 1024;"
            "watch|watch|name=Watch|Watch.appiconset|1|Icon-1024.png 1024;"
            "vision|vision|bg|AppIcon.solidimagestack|2|"
            "Front.solidimagestacklayer/Content.imageset/Front.png 1024,"
            "Back.solidimagestacklayer/Content.imageset/Back.png 1024;"
            "tv|tv|bg|App Icon & Top Shelf Image.brandassets|4|"
            "App Icon - App Store.imagestack/Front.imagestacklayer/Content.imageset/Front.png "
            "1280x768,App Icon - App Store.imagestack/Back.imagestacklayer/Content.imageset/"
            "Back.png 1280x768,App Icon.imagestack/Front.imagestacklayer/Content.imageset/"
            "Front.png 400x240,App Icon.imagestack/Front.imagestacklayer/Content.imageset/"
            "Front@2x.png 800x480,App Icon.imagestack/Back.imagestacklayer/Content.imageset/"
            "Back.png 400x240,App Icon.imagestack/Back.imagestacklayer/Content.imageset/"
            "Back@2x.png 800x480,Top Shelf Image Wide.imageset/TopShelfWide.png 2320x720,"
            "Top Shelf Image Wide.imageset/TopShelfWide@2x.png 4640x1440,Top Shelf Image "
            "Wide.imageset/TopShelfWide-marketing.png 2320x720,Top Shelf Image Wide.imageset/"
            "TopShelfWide-marketing@2x.png 4640x1440,Top Shelf Image.imageset/TopShelf.png "
            "1920x720,Top Shelf Image.imageset/TopShelf@2x.png 3840x1440,Top Shelf Image.imageset/"
            "TopShelf-marketing.png 1920x720,Top Shelf Image.imageset/TopShelf-marketing@2x.png "
            "3840x1440;"
            "tv without a colour|tv|back||top shelf;"
            "vision without a back|vision|||back layer must be opaque;"
            "a slash|ios|name=a/b||without “/”;a backslash|mac|name=a\\b||without “/” or “\\”;"
            "hidden|watch|name=.x||start with “.”");
    }
    // A missing, extra or misnamed file, a wrong size, an entry lost, the name ignored, a set
    // written that cannot be.
    void plans()
    {
        QFETCH(QStringList, f);
        const AssetPlan plan = AssetPlan::appIcon(*AssetPlan::platformOfKey(f[1]), optionsOf(f[2]));
        if (f.size() == 5) {
            QVERIFY2(plan.refusal.contains(f[4]), qPrintable(plan.refusal));
            return;
        }
        QCOMPARE(plan.refusal, QString());
        QCOMPARE(plan.folder, f[3]);
        const AssetPlan::Document &root = plan.documents.first();
        QCOMPARE(root.folder, QString());
        QCOMPARE(entriesOf(root.contents, root.list).size(), f[4].toInt());
        QCOMPARE(filesOf(plan), f[5].split(','));
        // Every file an entry names is planned, and every planned file named.
        QSet<QString> named, planned;
        for (const AssetPlan::Document &document : plan.documents) {
            for (const QJsonObject &entry : entriesOf(document.contents, "images"))
                named << (document.folder.isEmpty() ? "" : document.folder + '/') +
                             entry["filename"].toString();
        }
        for (const AssetPlan::File &file : plan.files)
            planned << file.path;
        QCOMPARE(named, planned);
    }

    // What each file is made of, for the looks and pictures a wrong switch would swap.
    void looks()
    {
        using Look = AssetPlan::Look;
        using Art = AssetPlan::Art;
        const AssetPlan ios = AssetPlan::appIcon(Platform::Ios, optionsOf("single dark tinted bg"));
        QCOMPARE(ios.files[0].look, Look::OverBackground);
        QVERIFY(ios.files[0].storeIcon && !ios.files[1].storeIcon);
        QCOMPARE(ios.files[1].art, Art::Dark);
        QCOMPARE(ios.files[1].look, Look::AsDrawn); // drawn on the system's own backdrop
        QCOMPARE(ios.files[2].look, Look::Luminance);
        const AssetPlan mac = AssetPlan::appIcon(Platform::Mac, optionsOf("shaped bg"));
        QCOMPARE(mac.files[0].look, Look::MacShaped);
        const AssetPlan vision = AssetPlan::appIcon(Platform::Vision, optionsOf("back"));
        QCOMPARE(vision.files[1].art, Art::Back);
        QVERIFY(vision.files[1].opaqueLayer);
        const AssetPlan tv = AssetPlan::appIcon(Platform::Tv, optionsOf("bg"));
        QCOMPARE(tv.files[0].look, Look::Placed);                // the front, on transparency
        QCOMPARE(tv.files[1].look, Look::Fill);                  // the back, the colour alone
        QCOMPARE(tv.files[13].look, Look::PlacedOverBackground); // a top shelf image
        // A tenth of the height in from every side.
        QCOMPARE(tv.files[0].artBox, QRect(76, 76, 1280 - 152, 768 - 152));
    }

    // The entries on disk|the platform and options written|every entry after the write as
    // "filename" in order|the files written, as the plan names them|files no entry names any
    // more|what the message says is kept
    void merges_data()
    {
        QTest::addColumn<QJsonArray>("disk");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("unnamed");
        QTest::addColumn<QStringList>("kept");
        auto entry = [](const char *name, const char *idiom, const char *size, const char *scale,
                        const char *platform = nullptr) {
            QJsonObject object{{"filename", name}, {"idiom", idiom}, {"size", size}};
            if (scale)
                object["scale"] = scale;
            if (platform)
                object["platform"] = platform;
            return object;
        };
        const QJsonObject iosStore = entry("Icon-1024.png", "ios-marketing", "1024x1024", "1x");
        const QJsonObject mine = entry("Icon-20.png", "mac", "128x128", "1x");
        QTest::newRow("mac beside ios: a name of its own for the 1024")
            << QJsonArray{iosStore} << "mac"
            << QStringList{"Icon-1024.png", "Icon-16.png",  "Icon-32.png",      "Icon-32.png",
                           "Icon-64.png",   "Icon-128.png", "Icon-256.png",     "Icon-256.png",
                           "Icon-512.png",  "Icon-512.png", "Icon-1024-mac.png"}
            << QStringList{"Icon-16.png",  "Icon-32.png",  "Icon-64.png",      "Icon-128.png",
                           "Icon-256.png", "Icon-512.png", "Icon-1024-mac.png"}
            << QStringList{} << QStringList{"iOS"};
        QTest::newRow("ios where a kept entry has one of its names, in other case")
            << QJsonArray{entry("icon-20.PNG", "mac", "16x16", "1x")} << "ios single"
            << QStringList{"icon-20.PNG", "Icon-1024.png"} << QStringList{"Icon-1024.png"}
            << QStringList{} << QStringList{"Mac"};
        QTest::newRow("a watch name taken by a mac entry")
            << QJsonArray{iosStore, entry("Icon-1024.png", "mac", "512x512", "2x")} << "watch"
            << QStringList{"Icon-1024.png", "Icon-1024.png", "Icon-1024-watch.png"}
            << QStringList{"Icon-1024-watch.png"} << QStringList{} << QStringList{"Mac", "iOS"};
        QTest::newRow("single size over all sizes: old files said, kept dark")
            << QJsonArray{entry("a.png", "iphone", "60x60", "2x"),
                          entry("b.png", "ipad", "76x76", "1x"),
                          QJsonObject{
                              {"filename", "d.png"},
                              {"idiom", "universal"},
                              {"platform", "ios"},
                              {"size", "1024x1024"},
                              {"appearances", QJsonArray{QJsonObject{{"appearance", "luminosity"},
                                                                     {"value", "dark"}}}}},
                          entry("car.png", "car", "60x60", "2x")}
            << "ios single" << QStringList{"Icon-1024.png", "d.png", "car.png"}
            << QStringList{"Icon-1024.png"} << QStringList{"a.png", "b.png"} << QStringList{"iOS"};
        QTest::newRow("the same slot keeps its name; a name with a path does not")
            << QJsonArray{entry("mine.png", "mac", "16x16", "1x"),
                          entry("../up.png", "mac", "32x32", "1x"), mine}
            << "mac" << QStringList{"mine.png",     "Icon-32.png",  "Icon-20.png",  "Icon-32.png",
                                    "Icon-64.png",  "Icon-256.png", "Icon-256.png", "Icon-512.png",
                                    "Icon-512.png", "Icon-1024.png"}
            << QStringList{"mine.png",     "Icon-32.png",  "Icon-64.png",  "Icon-20.png",
                           "Icon-256.png", "Icon-512.png", "Icon-1024.png"}
            << QStringList{} << QStringList{};
    }
    // An entry of another platform, idiom or appearance lost or changed; a file of ours over a
    // name a kept entry uses (also in other case); a slot's own name not kept; a file left
    // unsaid; entries that move on every write.
    void merges()
    {
        QFETCH(QJsonArray, disk);
        QFETCH(QString, written);
        QFETCH(QStringList, after);
        QFETCH(QStringList, files);
        QFETCH(QStringList, unnamed);
        QFETCH(QStringList, kept);
        AssetPlan plan = AssetPlan::appIcon(*AssetPlan::platformOfKey(written.section(' ', 0, 0)),
                                            optionsOf(written.section(' ', 1)));
        const QJsonObject before{{"images", disk}, {"info", QJsonObject{{"author", "me"}}}};
        const AssetPlan::Merged merged = plan.mergeInto(Disk{{}, {{"Contents.json", before}}});
        QCOMPARE(merged.refusal, QString());
        const QJsonObject document = plan.documents.first().contents;
        QStringList names;
        for (const QJsonObject &entry : entriesOf(document, "images"))
            names << entry["filename"].toString();
        QCOMPARE(names, after);
        QCOMPARE(document["info"], before["info"]);
        QStringList made;
        for (const AssetPlan::File &file : plan.files)
            made << file.path;
        QCOMPARE(made, files);
        QCOMPARE(merged.unnamed, unnamed);
        QCOMPARE(merged.keptKinds, kept);
        // Every entry not replaced is there as it was, key for key.
        for (const QJsonValue &value : disk) {
            if (!plan.documents.first().claims(value.toObject(), *plan.platform))
                QVERIFY(entriesOf(document, "images").contains(value.toObject()));
        }
        // Written again, the plan changes nothing.
        AssetPlan again = AssetPlan::appIcon(*AssetPlan::platformOfKey(written.section(' ', 0, 0)),
                                             optionsOf(written.section(' ', 1)));
        QVERIFY(again.mergeInto(Disk{{}, {{"Contents.json", document}}}).refusal.isEmpty());
        QCOMPARE(again.documents.size(), 0);
        QCOMPARE(filesOf(again), filesOf(plan));
    }

    // Real sets, as their apps keep them: the slots written are the set's own, by the set's own
    // names, and nothing else changes.
    void realSets_data()
    {
        rowsOf("kiwix mac|kiwix__kiwix-apple/Support/Assets.xcassets/AppIcon.appiconset|mac|"
               "16-mac.png 16,32-mac.png 32,64-mac.png 64,128-mac.png 128,256-mac.png 256,"
               "512-mac.png 512,1024-mac.png 1024||iOS;"
               "flutter ios|flutter__gallery/ios/Runner/Assets.xcassets/AppIcon.appiconset|ios|"
               "Icon-App-20x20@1x.png 20,Icon-App-20x20@3x.png 60,Icon-App-29x29@2x.png 58,"
               "Icon-App-29x29@3x.png 87,Icon-App-20x20@2x.png 40,Icon-App-40x40@2x.png 80,"
               "Icon-App-40x40@3x.png 120,Icon-App-60x60@2x.png 120,Icon-App-60x60@3x.png 180,"
               "Icon-App-29x29@1x.png 29,Icon-App-40x40@1x.png 40,Icon-App-76x76@1x.png 76,"
               "Icon-App-76x76@2x.png 152,Icon-App-83.5x83.5@2x.png 167,"
               "Icon-App-1024x1024@1x.png 1024|Contents.json|;"
               "vision|minchiaHuang__Vision-Pro/Assets.xcassets/AppIcon.solidimagestack|vision|"
               "Front.solidimagestacklayer/Content.imageset/visualeyes-front-1024.png 1024,"
               "Back.solidimagestacklayer/Content.imageset/visualeyes-back-1024.png 1024||1 other "
               "entry");
    }
    void realSets()
    {
        QFETCH(QStringList, f);
        AssetPlan plan = AssetPlan::appIcon(*AssetPlan::platformOfKey(f[2]), optionsOf("bg"));
        const AssetPlan::Merged merged = plan.mergeInto(Disk{Real + '/' + f[1], {}});
        QStringList files = filesOf(plan), expected = f[3].split(',');
        files.sort();
        expected.sort();
        QCOMPARE(files, expected);
        QStringList written;
        for (const AssetPlan::Document &document : plan.documents)
            written << document.path();
        QCOMPARE(written.join(','), f[4]);
        QCOMPARE(merged.unnamed, QStringList());
        QCOMPARE(merged.keptKinds.join(','), f[5]);
    }

    // What cannot be merged without losing it is refused, not overwritten.
    void unmergeable_data()
    {
        QTest::addColumn<QJsonObject>("document");
        QTest::addColumn<QString>("unreadable");
        QTest::newRow("list of another kind") << QJsonObject{{"images", "x"}} << "";
        QTest::newRow("entry of another kind") << QJsonObject{{"images", QJsonArray{1}}} << "";
        QTest::newRow("unreadable") << QJsonObject() << "not a JSON object";
    }
    void unmergeable()
    {
        QFETCH(QJsonObject, document);
        QFETCH(QString, unreadable);
        AssetPlan plan = AssetPlan::appIcon(Platform::Ios, {});
        const AssetPlan::Merged merged =
            plan.mergeInto([&](const QString &) -> AssetPlan::Existing {
                if (!unreadable.isEmpty())
                    return {std::nullopt, unreadable};
                return {document, {}};
            });
        QVERIFY(!merged.refusal.isEmpty());
        QVERIFY(unreadable.isEmpty() || merged.refusal == unreadable);
    }

    // An image set keeps its other appearances, idioms and vector image; ours replace only the
    // plain scales, under their own names.
    void imageSetMerge()
    {
        AssetPlan plan = AssetPlan::imageSet(ImageSetDescription(10, 10, "logo"));
        const QJsonObject dark{{"filename", "logo-dark.png"},
                               {"idiom", "universal"},
                               {"scale", "1x"},
                               {"appearances", QJsonArray{QJsonObject{{"appearance", "luminosity"},
                                                                      {"value", "dark"}}}}};
        const QJsonObject vector{{"filename", "logo.pdf"}, {"idiom", "universal"}};
        const QJsonObject watch{{"filename", "w.png"}, {"idiom", "watch"}, {"scale", "2x"}};
        const QJsonObject before{
            {"images",
             QJsonArray{
                 QJsonObject{{"filename", "old.png"}, {"idiom", "universal"}, {"scale", "1x"}},
                 dark, vector, watch}},
            {"info", QJsonObject{{"version", 1}}},
            {"properties", QJsonObject{{"preserves-vector-representation", true}}}};
        const AssetPlan::Merged merged = plan.mergeInto(Disk{{}, {{"Contents.json", before}}});
        const QJsonObject after = plan.documents.first().contents;
        QCOMPARE(after["properties"], before["properties"]);
        const QList<QJsonObject> entries = entriesOf(after, "images");
        QCOMPARE(entries.size(), 6);
        QCOMPARE(entries[0]["filename"].toString(), "old.png"); // its slot's own name
        QCOMPARE(entries[1]["filename"].toString(), "logo@2x.png");
        QVERIFY(entries.contains(dark) && entries.contains(vector) && entries.contains(watch));
        QCOMPARE(filesOf(plan), (QStringList{"old.png 10", "logo@2x.png 20", "logo@3x.png 30"}));
        QCOMPARE(merged.keptKinds, QStringList{"3 other entries"});
    }
};

QTEST_GUILESS_MAIN(PlanTest)
#include "tst_plan.moc"
