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

// The plan of "platform option...", the options "single", "dark", "tinted", "back", "bg",
// "shaped", "name=<name>", "layers=<count>"; or of "logo", the 10 by 10 image set of that name.
AssetPlan planOf(const QString &text)
{
    const QStringList words = text.split(' ', Qt::SkipEmptyParts);
    if (words[0] == "logo")
        return AssetPlan::imageSet(ImageSetDescription(10, 10, "logo"));
    AssetPlan::Options options;
    options.singleSize = words.contains("single");
    options.dark = words.contains("dark");
    options.tinted = words.contains("tinted");
    options.back = words.contains("back");
    options.background = words.contains("bg") ? QColor(Qt::white) : QColor();
    options.macStyle =
        words.contains("shaped") ? AssetPlan::MacStyle::Shaped : AssetPlan::MacStyle::FullBleed;
    options.name = text.section("name=", 1).section(' ', 0, 0);
    options.layers = text.section("layers=", 1).section(' ', 0, 0).toInt();
    return AssetPlan::appIcon(*AssetPlan::platformOfKey(words[0]), options);
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

// An entry written as "filename idiom size scale platform appearance", "-" for a key it lacks.
QJsonObject entryOf(const QString &text)
{
    const char *keys[] = {"filename", "idiom", "size", "scale", "platform"};
    const QStringList words = text.split(' ');
    QJsonObject entry;
    for (int k = 0; k < std::min(int(words.size()), 5); ++k)
        if (words[k] != "-")
            entry[keys[k]] = words[k];
    if (words.size() > 5)
        entry["appearances"] =
            QJsonArray{QJsonObject{{"appearance", "luminosity"}, {"value", words[5]}}};
    return entry;
}

// What a merge reads at every path: the document, or the reason it cannot be read.
std::function<AssetPlan::Existing(const QString &)> reading(std::optional<QJsonObject> document,
                                                            const QString &unreadable = {})
{
    return [=](const QString &) { return AssetPlan::Existing{document, unreadable}; };
}

const QString Real = QStringLiteral(ASSETSMITH_REAL_CATALOGUES);

} // namespace

class PlanTest : public QObject
{
    Q_OBJECT
private slots:
    // plan|folder|entries in the folder's Contents.json|every file and its pixels, from the
    // sizes Xcode asks for; or the refusal's words for options that cannot be written
    void plans_data()
    {
        rowsOf(
            "ios|ios|AppIcon.appiconset|18|Icon-20.png 20,Icon-60.png 60,Icon-Small@2x.png 58,"
            "Icon-Small@3x.png 87,Icon-40@2x.png 80,Icon-60@2x.png 120,Icon-60@3x.png 180,"
            "Icon-Small.png 29,Icon-40.png 40,Icon-76.png 76,Icon-76@2x.png 152,"
            "Icon-83.5@2x.png 167,Icon-1024.png 1024;"
            "ios single|ios single dark tinted name=AppIcon-Beta|AppIcon-Beta.appiconset|3|"
            "Icon-1024.png 1024,Icon-1024-dark.png 1024,Icon-1024-tinted.png 1024;"
            "mac|mac shaped|AppIcon.appiconset|10|Icon-16.png 16,Icon-32.png 32,Icon-64.png 64,"
            "Icon-128.png 128,Icon-256.png 256,Icon-512.png 512,Icon-1024.png 1024;"
            "watch|watch name=Watch|Watch.appiconset|1|Icon-1024.png 1024;"
            "vision|vision bg|AppIcon.solidimagestack|2|"
            "Front.solidimagestacklayer/Content.imageset/Front.png 1024,"
            "Back.solidimagestacklayer/Content.imageset/Back.png 1024;"
            "tv|tv bg|App Icon & Top Shelf Image.brandassets|4|"
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
            "tv without a colour|tv back|top shelf;vision without a back|vision|back layer must be "
            "opaque;a slash|ios name=a/b|without “/”;a backslash|mac name=a\\b|without “/” or "
            "“\\”;hidden|watch name=.x|start with “.”");
    }
    // A missing, extra or misnamed file, a wrong size, an entry lost, the name ignored, a set
    // written that cannot be.
    void plans()
    {
        QFETCH(QStringList, f);
        const AssetPlan plan = planOf(f[1]);
        if (f.size() == 3) {
            QVERIFY2(plan.refusal.contains(f[2]), qPrintable(plan.refusal));
            return;
        }
        QCOMPARE(plan.refusal, QString());
        QCOMPARE(plan.folder, f[2]);
        const AssetPlan::Document &root = plan.documents.first();
        QCOMPARE(root.folder, QString());
        QCOMPARE(entriesOf(root.contents, root.list).size(), f[3].toInt());
        QCOMPARE(filesOf(plan), f[4].split(','));
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

    // plan|the stack's layers|its images at 1x as "layer first-last look", "*" for an opaque
    // one, the middle "empty" where its entry names no file; or the refusal's words
    void layered_data()
    {
        rowsOf("vision 2|vision layers=2|Front,Middle,Back|Front 0-0 drawn,Middle empty,"
               "Back 1-1 drawn*;"
               "vision 3|vision bg layers=3|Front,Middle,Back|Front 0-0 drawn,Middle 1-1 drawn,"
               "Back 2-2 over*;"
               "vision 6|vision layers=6|Front,Middle,Back|Front 0-0 drawn,Middle 1-4 drawn,"
               "Back 5-5 drawn*;"
               "tv 2|tv bg layers=2|Front,Back|Front 0-0 placed,Back 1-1 placedover*;"
               "tv 4|tv bg layers=4|Front,Middle,Middle 2,Back|Front 0-0 placed,"
               "Middle 1-1 placed,Middle 2 2-2 placed,Back 3-3 placedover*;"
               "tv 6|tv bg layers=6|Front,Middle,Middle 2,Middle 3,Back|Front 0-0 placed,"
               "Middle 1-1 placed,Middle 2 2-2 placed,Middle 3 3-4 placed,Back 5-5 placedover*;"
               "tv 7|tv bg layers=7|Front,Middle,Middle 2,Middle 3,Back|Front 0-0 placed,"
               "Middle 1-1 placed,Middle 2 2-3 placed,Middle 3 4-5 placed,Back 6-6 placedover*;"
               "vision with a back|vision back layers=3|not both;"
               "tv with a back|tv bg back layers=2|not both");
    }
    // A layer left out, drawn twice or in the wrong order, a middle that hides the back, the
    // back layer not laid over the colour, a back source taken over the source's own.
    void layered()
    {
        QFETCH(QStringList, f);
        const AssetPlan plan = planOf(f[1]);
        if (f.size() == 3) {
            QVERIFY2(plan.refusal.contains(f[2]), qPrintable(plan.refusal));
            return;
        }
        QCOMPARE(plan.refusal, QString());
        const bool tv = f[1].startsWith("tv");
        const QString stack = tv ? "App Icon.imagestack" : "";
        const QString suffix = tv ? ".imagestacklayer" : ".solidimagestacklayer";
        QStringList layers;
        for (const AssetPlan::Document &document : plan.documents) {
            if (document.folder == stack) {
                for (const QJsonObject &entry : entriesOf(document.contents, "layers"))
                    layers << entry["filename"].toString().chopped(suffix.size());
            }
        }
        QCOMPARE(layers, f[2].split(','));
        const QHash<AssetPlan::Look, QString> looks{
            {AssetPlan::Look::AsDrawn, "drawn"},
            {AssetPlan::Look::OverBackground, "over"},
            {AssetPlan::Look::Placed, "placed"},
            {AssetPlan::Look::PlacedOverBackground, "placedover"}};
        QStringList files;
        for (const QString &layer : std::as_const(layers)) {
            const QString images =
                (tv ? stack + '/' : QString()) + layer + suffix + "/Content.imageset";
            const QString path = images + '/' + layer + ".png";
            const auto file =
                std::find_if(plan.files.begin(), plan.files.end(),
                             [&](const AssetPlan::File &f) { return f.path == path; });
            if (file == plan.files.end()) {
                // Xcode's empty layer: one entry with no file.
                for (const AssetPlan::Document &document : plan.documents) {
                    if (document.folder == images)
                        QCOMPARE(document.contents["images"].toArray(),
                                 (QJsonArray{QJsonObject{{"idiom", "vision"}, {"scale", "2x"}}}));
                }
                files << layer + " empty";
                continue;
            }
            QCOMPARE(file->art, AssetPlan::Art::Layers);
            files << QStringLiteral("%1 %2-%3 %4%5")
                         .arg(layer)
                         .arg(file->layer)
                         .arg(file->lastLayer)
                         .arg(looks.value(file->look), file->opaqueLayer ? "*" : "");
        }
        QCOMPARE(files, f[3].split(','));
    }

    // What each file is made of, for the looks and pictures a wrong switch would swap, and the
    // single size entries with their appearances.
    void looks()
    {
        using Look = AssetPlan::Look;
        using Art = AssetPlan::Art;
        const AssetPlan ios = planOf("ios single dark tinted bg");
        QCOMPARE(ios.files[0].look, Look::OverBackground);
        QVERIFY(ios.files[0].storeIcon && !ios.files[1].storeIcon);
        QCOMPARE(ios.files[1].art, Art::Dark);
        QCOMPARE(ios.files[1].look, Look::AsDrawn); // drawn on the system's own backdrop
        QCOMPARE(ios.files[2].look, Look::Luminance);
        QJsonArray images;
        for (const char *look : {"", " dark", " tinted"})
            images.append(entryOf(QString("Icon-1024%1.png universal 1024x1024 - ios%2")
                                      .arg(QString(look).replace(' ', '-'), look)));
        QCOMPARE(ios.documents[0].contents["images"].toArray(), images);
        QCOMPARE(planOf("mac shaped bg").files[0].look, Look::MacShaped);
        const AssetPlan vision = planOf("vision back");
        QCOMPARE(vision.files[1].art, Art::Back);
        QVERIFY(vision.files[1].opaqueLayer);
        const AssetPlan tv = planOf("tv bg");
        QCOMPARE(tv.files[0].look, Look::Placed);                // the front, on transparency
        QCOMPARE(tv.files[1].look, Look::Fill);                  // the back, the colour alone
        QCOMPARE(tv.files[13].look, Look::PlacedOverBackground); // a top shelf image
        // A tenth of the height in from every side.
        QCOMPARE(tv.files[0].artBox, QRect(76, 76, 1280 - 152, 768 - 152));
    }

    // The entries on disk, as entryOf() reads them|the plan written|every entry after the write,
    // by file name in order|the files written|files no entry names any more|what the message
    // says is kept
    void merges_data()
    {
        rowsOf("mac beside ios: a name of its own for the 1024|Icon-1024.png ios-marketing "
               "1024x1024 1x|mac|Icon-1024.png,Icon-16.png,Icon-32.png,Icon-32.png,Icon-64.png,"
               "Icon-128.png,Icon-256.png,Icon-256.png,Icon-512.png,Icon-512.png,Icon-1024-mac.png|"
               "Icon-16.png 16,Icon-32.png 32,Icon-64.png 64,Icon-128.png 128,Icon-256.png 256,"
               "Icon-512.png 512,Icon-1024-mac.png 1024||iOS;"
               "ios where a kept entry has one of its names, in other case|icon-20.PNG mac 16x16 "
               "1x|ios single|icon-20.PNG,Icon-1024.png|Icon-1024.png 1024||Mac;"
               "a watch name taken by a mac entry|Icon-1024.png ios-marketing 1024x1024 1x,"
               "Icon-1024.png mac 512x512 2x|watch|Icon-1024.png,Icon-1024.png,Icon-1024-watch.png|"
               "Icon-1024-watch.png 1024||iOS,Mac;"
               "single size over all sizes: old files said, kept dark|a.png iphone 60x60 2x,"
               "b.png ipad 76x76 1x,d.png universal 1024x1024 - ios dark,car.png car 60x60 2x|"
               "ios single|Icon-1024.png,d.png,car.png|Icon-1024.png 1024|a.png,b.png|dark iOS,iOS;"
               "the same slot keeps its name, a name with a path does not|mine.png mac 16x16 1x,"
               "../up.png mac 32x32 1x,Icon-20.png mac 128x128 1x|mac|mine.png,Icon-32.png,"
               "Icon-20.png,Icon-32.png,Icon-64.png,Icon-256.png,Icon-256.png,Icon-512.png,"
               "Icon-512.png,Icon-1024.png|mine.png 16,Icon-32.png 32,Icon-64.png 64,"
               "Icon-20.png 128,Icon-256.png 256,Icon-512.png 512,Icon-1024.png 1024||;"
               "an image set keeps its other appearances, idioms and vector image, ours replace "
               "its plain scales|old.png universal - 1x,logo-dark.png universal - 1x - dark,"
               "logo.pdf universal,w.png watch - 2x|logo|old.png,logo@2x.png,logo@3x.png,"
               "logo-dark.png,logo.pdf,w.png|old.png 10,logo@2x.png 20,logo@3x.png 30||"
               "3 other entries");
    }
    // An entry of another platform, idiom or appearance lost or changed; a file of ours over a
    // name a kept entry uses (also in other case); a slot's own name not kept; a file left
    // unsaid; entries that move on every write.
    void merges()
    {
        QFETCH(QStringList, f);
        AssetPlan plan = planOf(f[2]);
        QJsonArray disk;
        for (const QString &entry : f[1].split(','))
            disk.append(entryOf(entry));
        const QJsonObject before{
            {"images", disk},
            {"info", QJsonObject{{"author", "me"}}},
            {"properties", QJsonObject{{"preserves-vector-representation", true}}}};
        const AssetPlan::Merged merged = plan.mergeInto(reading(before));
        QCOMPARE(merged.refusal, QString());
        const QJsonObject document = plan.documents.first().contents;
        QStringList names;
        for (const QJsonObject &entry : entriesOf(document, "images"))
            names << entry["filename"].toString();
        QCOMPARE(names, f[3].split(','));
        QCOMPARE(filesOf(plan), f[4].split(','));
        QCOMPARE(merged.unnamed, f[5].split(',', Qt::SkipEmptyParts));
        QCOMPARE(merged.keptKinds, f[6].split(',', Qt::SkipEmptyParts));
        // Every entry not replaced is there as it was, key for key, and so is all else.
        for (const QJsonValue &value : disk) {
            if (!plan.documents.first().claims(value.toObject(),
                                               plan.platform.value_or(Platform::Ios)))
                QVERIFY(entriesOf(document, "images").contains(value.toObject()));
        }
        QJsonObject kept = before;
        kept["images"] = document["images"];
        QCOMPARE(document, kept);
        // Written again, the plan changes nothing.
        AssetPlan again = planOf(f[2]);
        QVERIFY(again.mergeInto(reading(document)).refusal.isEmpty());
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
        AssetPlan plan = planOf(f[2] + " bg");
        const AssetPlan::Merged merged =
            plan.mergeInto([&](const QString &path) -> AssetPlan::Existing {
                const QString file = Real + '/' + f[1] + '/' + path;
                return QFileInfo::exists(file) ? AssetPlan::Existing{readJson(file), {}}
                                               : AssetPlan::Existing{};
            });
        QStringList files = filesOf(plan), expected = f[3].split(','), written;
        files.sort();
        expected.sort();
        QCOMPARE(files, expected);
        for (const AssetPlan::Document &document : plan.documents)
            written << document.path();
        QCOMPARE(written.join(','), f[4]);
        QCOMPARE(merged.unnamed, QStringList());
        QCOMPARE(merged.keptKinds.join(','), f[5]);
    }

    // What cannot be merged without losing it is refused, not overwritten: the document as
    // JSON, or none when it cannot be read|the refusal's words
    void unmergeable_data()
    {
        rowsOf("list of another kind|{\"images\":\"x\"}|is not a list;entry of another kind|"
               "{\"images\":[1]}|is not an object;unreadable||not a JSON object");
    }
    void unmergeable()
    {
        QFETCH(QStringList, f);
        AssetPlan plan = AssetPlan::appIcon(Platform::Ios, {});
        const QString refusal =
            plan.mergeInto(f[1].isEmpty()
                               ? reading(std::nullopt, f[2])
                               : reading(QJsonDocument::fromJson(f[1].toUtf8()).object()))
                .refusal;
        QVERIFY2(f[1].isEmpty() ? refusal == f[2] : refusal.contains(f[2]), qPrintable(refusal));
    }
};

QTEST_GUILESS_MAIN(PlanTest)
#include "tst_plan.moc"
