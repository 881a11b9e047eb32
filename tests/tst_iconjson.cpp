#include "TestFiles.h"
#include "catalogue/IconJson.h"

#include <QtNumeric>

// The icon.json text: real files written back byte for byte, and the layout rules on hand-made
// documents whose expected text is written out here.

namespace {

const QString RealIcons = QStringLiteral(ASSETSMITH_REAL_ICONS);

// A document as read and as written.
void add(const char *tag, const QByteArray &json, const QByteArray &written)
{
    QTest::newRow(tag) << json << written;
}

// A document of one value, as read from `value` and as written.
void addValue(const char *tag, const QByteArray &value, const QByteArray &written)
{
    add(tag, "{\"v\":" + value + "}", "{\n  \"v\" : " + written + "\n}");
}

} // namespace

class IconJsonTest : public QObject
{
    Q_OBJECT

private slots:
    // All but five were written by the editor and end at the closing brace. Maccy's and the
    // 2fauth watch icon were saved again through a text editor and the scaled-layer fixture was
    // edited by hand: each only added a final newline. gb-studio and Horizon were re-indented by
    // a JavaScript formatter ("key": value, short arrays on one line): for them, an excerpt of the
    // text the editor writes.
    void realFiles_data()
    {
        QTest::addColumn<bool>("finalNewline");
        QTest::addColumn<QByteArray>("excerpt");
        if (!QFileInfo(RealIcons).isDir())
            QSKIP("the real icon bundles are not here");
        const QStringList newline = {
            "p0deje__Maccy/Maccy/AppIcon.icon", "ryanep__2fauth-companion/WatchIcon.icon",
            "giginet__apple-icon-composer-skill/fixtures/scaled-layer.icon"};
        const QMap<QString, QByteArray> reformatted = {
            {"chrismaltby__gb-studio/src/assets/app/icon/app_icon.icon",
             "  \"supported-platforms\" : {\n    \"circles\" : [\n      \"watchOS\"\n    ],\n"
             "    \"squares\" : \"shared\"\n  }\n}"},
            {"Fchat-Horizon__Horizon/electron/build/icon.icon",
             "            \"translation-in-points\" : [\n              -1.8628948081295413,\n"
             "              -26.844791850482014\n            ]\n"}};
        // Every icon.json of the corpus, so none goes untested and a changed corpus is noticed.
        QStringList bundles;
        for (QDirIterator it(RealIcons, {"icon.json"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            bundles << QDir(RealIcons).relativeFilePath(QFileInfo(it.next()).path());
        for (const QString &bundle : bundles)
            QTest::newRow(qPrintable(bundle))
                << (newline.contains(bundle) || reformatted.contains(bundle))
                << reformatted.value(bundle);
        QCOMPARE(bundles.size(), 39);
    }

    void realFiles()
    {
        QFETCH(bool, finalNewline);
        QFETCH(QByteArray, excerpt);
        QByteArray file = bytesOf(RealIcons + '/' + QTest::currentDataTag() + "/icon.json");
        QCOMPARE(file.endsWith("}\n"), finalNewline);
        QJsonObject document;
        QString error;
        QVERIFY2(IconJson::read(file, &document, &error), qPrintable(error));
        const QByteArray text = IconJson::write(document);
        if (excerpt.isEmpty()) {
            file.chop(finalNewline ? 1 : 0);
            QCOMPARE(text, file);
            return;
        }
        QVERIFY(file.contains("\": ")); // still the other formatter's layout
        QVERIFY2(text.contains(excerpt), text.constData());
        // Their keys were already in order and their numbers in shortest form: only the white
        // space differs (strings here hold no line breaks).
        const auto blank = [](char c) { return c == ' ' || c == '\n'; };
        QCOMPARE(QByteArray(text).removeIf(blank), file.removeIf(blank));
    }

    void written_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("written");
        add("empty document", "\n{ }\n", "{\n\n}");
        // An untouched new document's "groups"; empty objects are written the same way.
        add("containers", R"({"groups":[ ],"a":[[],{"b":{}},true,false,null]})",
            "{\n  \"a\" : [\n    [\n\n    ],\n    {\n      \"b\" : {\n\n      }\n    },\n"
            "    true,\n    false,\n    null\n  ],\n  \"groups\" : [\n\n  ]\n}");
        // Code points, not case-blind or numeric order: 'Z' (5A) < 'a' (61), '1' < '2', and a
        // prefix before its extensions ('-' is 2D).
        add("key order",
            R"({"fill-specializations":1,"alpha":2,"a2":3,"fill":4,"Zeta":5,"a10":6,"fill-a":7})",
            "{\n  \"Zeta\" : 5,\n  \"a10\" : 6,\n  \"a2\" : 3,\n  \"alpha\" : 2,\n  \"fill\" : 4,\n"
            "  \"fill-a\" : 7,\n  \"fill-specializations\" : 1\n}");
        // U+FF5E before U+1F600, although its UTF-16 unit FF5E sorts after the surrogate D83D.
        add("beyond the BMP", R"({"\ud83d\ude00":1,"\uff5e":2,"z":3})",
            "{\n  \"z\" : 3,\n  \"\xef\xbd\x9e\" : 2,\n  \"\xf0\x9f\x98\x80\" : 1\n}");
        addValue("whole", "-2.5E2", "-250");
        addValue("small", "1e-7", "0.0000001");
        addValue("large", "1e21", "1000000000000000000000");
        addValue("unrounded", "1.7218333746113785", "1.7218333746113785");
        addValue("third", "0.33333333333333331", "0.3333333333333333");
        addValue("2^53 + 1", "9007199254740993", "9007199254740993");
        // Keys take the same escapes.
        add("quote, backslash, slash", "{\"\\\"a\\\\b/\":\"\\\"a\\\\b/\"}",
            "{\n  \"\\\"a\\\\b\\/\" : \"\\\"a\\\\b\\/\"\n}");
        addValue("controls", R"("\n\t\r\b\f\u0000\u001F")", R"("\n\t\r\b\f\u0000\u001f")");
        addValue("raw", R"("\u007f \u2013 \ud83d\ude00")",
                 "\"\x7f \xe2\x80\x93 \xf0\x9f\x98\x80\"");
        // No UTF-8 holds a lone surrogate: escaped, it reads back as it was.
        addValue("lone surrogates", R"("\udc00\uD800x\ud800")", R"("\udc00\ud800x\ud800")");
        add("lone surrogate keys", R"({"\ue000":1,"\ud800":2,"\ud7ff":3})",
            "{\n  \"\xed\x9f\xbf\" : 3,\n  \"\\ud800\" : 2,\n  \"\xee\x80\x80\" : 1\n}");
    }

    void written()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, written);
        QJsonObject document;
        QString error = "stale";
        QVERIFY2(IconJson::read(json, &document, &error), qPrintable(error));
        QVERIFY(error.isEmpty());
        QCOMPARE(IconJson::write(document), written);
    }

    // Numbers a program puts in a document, which text cannot give. JSON has no text for NaN or
    // the infinities: "nan" would make the file unreadable. (Whole values, -0 among them, the
    // document already keeps as integers.)
    void nonFinite()
    {
        for (const double value : {qQNaN(), qInf(), -qInf()})
            QCOMPARE(IconJson::write({{"n", value}}), QByteArray("{\n  \"n\" : 0\n}"));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("text"); // empty, blank, an array, unclosed, two documents
        for (const char *text : {"", " \n\t", "[{\"groups\" : []}]", "{\"groups\" : [", "{} {}"})
            QTest::newRow(text) << QByteArray(text);
    }

    void refused()
    {
        QFETCH(QByteArray, text);
        QJsonObject document{{"kept", true}};
        QString error;
        QVERIFY(!IconJson::read(text, &document, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(document, (QJsonObject{{"kept", true}}));
    }
};

QTEST_GUILESS_MAIN(IconJsonTest)
#include "tst_iconjson.moc"
