#include "TestFiles.h"
#include "catalogue/IconJson.h"

#include <QJsonArray>

#include <cmath>
#include <limits>

// The icon.json text: real files written back byte for byte, and the layout rules on hand-made
// documents whose expected text is written out here.

namespace {

QJsonObject parsed(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(text, &error).object();
    if (error.error != QJsonParseError::NoError)
        qWarning("test input is not JSON: %s", text.constData());
    return object;
}

// The text without the white space between tokens, so two layouts of one document compare equal.
QByteArray compact(const QByteArray &text)
{
    QByteArray out;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            escaped = !escaped && c == '\\';
            inString = escaped || c != '\"';
        } else if (c == '\"') {
            inString = true;
        } else if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            continue;
        }
        out += c;
    }
    return out;
}

QString realIcons()
{
    return QStringLiteral(ASSETSMITH_REAL_ICONS);
}

} // namespace

class IconJsonTest : public QObject
{
    Q_OBJECT

private slots:
    // Every bundle the corpus notes name, written by the editor; 34 end at the closing brace,
    // three have a final newline the editor does not write: Maccy's and the 2fauth watch icon
    // were saved again through a text editor, and the scaled-layer fixture was edited by hand
    // (kept: apart from that newline it still has the editor's layout). Not here: gb-studio and
    // Horizon, re-indented by a JavaScript formatter (see reformattedFiles).
    void realFiles_data()
    {
        QTest::addColumn<bool>("finalNewline");
        const char *exact[] = {
            "Avers__AudioBookBinder/AppIcon.icon",
            "Dimillian__IceCubesApp/AlternateIcons/AppIconAlternate1.icon",
            "Dimillian__IceCubesApp/AlternateIcons/AppIconAlternate2.icon",
            "Dimillian__IceCubesApp/AlternateIcons/AppIconAlternate46.icon",
            "Dimillian__IceCubesApp/AppIcon.icon",
            "Kitround__MediaKeys/AppIcon.icon",
            "Kitround__MediaKeys/MediaKeys/AppIcon.icon",
            "LiuSky__screenpresenter/AppIcon.icon",
            "Loriage__Beszel-Swift-App/AppIcon.icon",
            "Loriage__Minidisc/AppIcon.icon",
            "MMitsuha__proxycat/AppIcon.icon",
            "TortugaPower__BookPlayer/AlternateIcons/Books.icon",
            "TortugaPower__BookPlayer/AlternateIcons/Music.icon",
            "TortugaPower__BookPlayer/AlternateIcons/Platinum.icon",
            "TortugaPower__BookPlayer/AlternateIcons/Pride.icon",
            "TortugaPower__BookPlayer/AppIcon.icon",
            "afadil__wealthfolio/apps/tauri/icons/AppIcon.icon",
            "element-hq__element-x-ios/ElementX/Resources/AppIcon.icon",
            "element-hq__element-x-ios/Variants/Nightly/Resources/NightlyAppIcon.icon",
            "ghostty-org__ghostty/images/Ghostty.icon",
            "giginet__apple-icon-composer-skill/fixtures/complex-icon.icon",
            "giginet__apple-icon-composer-skill/fixtures/plugin-test.icon",
            "giginet__apple-icon-composer-skill/fixtures/simple-image.icon",
            "giginet__apple-icon-composer-skill/fixtures/test-generated.icon",
            "giginet__apple-icon-composer-skill/fixtures/variables-changed.icon",
            "home-assistant__iOS/Sources/App/Resources/AppIcon.dev.icon",
            "home-assistant__iOS/Sources/App/Resources/AppIcon.icon",
            "prof18__Shellporter/Icon.icon",
            "rxhanson__Rectangle/Rectangle/AppIcon.icon",
            "ryanep__2fauth-companion/AppIcon.icon",
            "spacedriveapp__spacedrive/apps/tauri/Spacedrive.icon",
            "steipete__Trimmy/Icon.icon",
            "utmapp__UTM/Platform/AppIcon-Remote.icon",
            "utmapp__UTM/Platform/AppIcon.icon",
        };
        for (const char *bundle : exact)
            QTest::newRow(bundle) << false;
        QTest::newRow("p0deje__Maccy/Maccy/AppIcon.icon") << true;
        QTest::newRow("ryanep__2fauth-companion/WatchIcon.icon") << true;
        QTest::newRow("giginet__apple-icon-composer-skill/fixtures/scaled-layer.icon") << true;
    }

    void realFiles()
    {
        QFETCH(bool, finalNewline);
        if (!QFileInfo(realIcons()).isDir())
            QSKIP("the real icon bundles are not here");
        QByteArray file =
            bytesOf(realIcons() + '/' + QTest::currentDataTag() + QStringLiteral("/icon.json"));
        QVERIFY(!file.isEmpty());
        QCOMPARE(file.endsWith("}\n"), finalNewline);
        if (finalNewline)
            file.chop(1);
        QJsonObject document;
        QString error;
        QVERIFY2(IconJson::read(file, &document, &error), qPrintable(error));
        QCOMPARE(IconJson::write(document), file);
    }

    // The two tables above and below name every icon.json of the corpus, so none goes untested.
    void corpusIsListed()
    {
        if (!QFileInfo(realIcons()).isDir())
            QSKIP("the real icon bundles are not here");
        int count = 0;
        for (QDirIterator it(realIcons(), {"icon.json"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext(); it.next())
            ++count;
        QCOMPARE(count, 39);
    }

    void reformattedFiles_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QByteArray>("written");
        // "key": value became "key" : value, and one-line arrays one element per line.
        QTest::newRow("gb-studio") << "chrismaltby__gb-studio/src/assets/app/icon/app_icon.icon"
                                   << QByteArray("        \"orientation\" : {\n"
                                                 "          \"start\" : {\n"
                                                 "            \"x\" : 0.5,\n"
                                                 "            \"y\" : 0\n"
                                                 "          },\n"
                                                 "          \"stop\" : {\n"
                                                 "            \"x\" : 0.5,\n"
                                                 "            \"y\" : 0.7\n"
                                                 "          }\n"
                                                 "        }\n"
                                                 "      }\n"
                                                 "    },\n"
                                                 "    {\n"
                                                 "      \"appearance\" : \"dark\",\n"
                                                 "      \"value\" : \"system-dark\"\n"
                                                 "    }\n"
                                                 "  ],\n"
                                                 "  \"groups\" : [\n");
        QTest::newRow("gb-studio end") << "chrismaltby__gb-studio/src/assets/app/icon/app_icon.icon"
                                       << QByteArray("  \"supported-platforms\" : {\n"
                                                     "    \"circles\" : [\n"
                                                     "      \"watchOS\"\n"
                                                     "    ],\n"
                                                     "    \"squares\" : \"shared\"\n"
                                                     "  }\n"
                                                     "}");
        QTest::newRow("Horizon") << "Fchat-Horizon__Horizon/electron/build/icon.icon"
                                 << QByteArray("          \"position\" : {\n"
                                               "            \"scale\" : 2.5,\n"
                                               "            \"translation-in-points\" : [\n"
                                               "              -1.8628948081295413,\n"
                                               "              -26.844791850482014\n"
                                               "            ]\n"
                                               "          }\n");
        QTest::newRow("Horizon end") << "Fchat-Horizon__Horizon/electron/build/icon.icon"
                                     << QByteArray("  \"supported-platforms\" : {\n"
                                                   "    \"squares\" : [\n"
                                                   "      \"macOS\"\n"
                                                   "    ]\n"
                                                   "  }\n"
                                                   "}");
    }

    void reformattedFiles()
    {
        QFETCH(QString, bundle);
        QFETCH(QByteArray, written);
        if (!QFileInfo(realIcons()).isDir())
            QSKIP("the real icon bundles are not here");
        const QByteArray file = bytesOf(realIcons() + '/' + bundle + QStringLiteral("/icon.json"));
        QVERIFY(file.contains("\": ")); // still the other formatter's layout
        QJsonObject document;
        QString error;
        QVERIFY2(IconJson::read(file, &document, &error), qPrintable(error));
        const QByteArray text = IconJson::write(document);
        QVERIFY2(text.contains(written), text.constData());
        QVERIFY(!text.contains("\": "));
        QVERIFY(!text.endsWith('\n'));
        // Their keys were already in order and their numbers in shortest form: only the white
        // space may differ.
        QCOMPARE(compact(text), compact(file));
    }

    void layout_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("empty document") << QByteArray("{}") << QByteArray("{\n\n}");
        // The layout of an untouched new document's "groups".
        QTest::newRow("empty array")
            << QByteArray(R"({"groups":[]})") << QByteArray("{\n  \"groups\" : [\n\n  ]\n}");
        // No real file has one; written the same way as the empty array.
        QTest::newRow("empty object")
            << QByteArray(R"({"a":{"b":{}}})")
            << QByteArray("{\n  \"a\" : {\n    \"b\" : {\n\n    }\n  }\n}");
        QTest::newRow("empty in array") << QByteArray(R"({"a":[[],{}]})")
                                        << QByteArray("{\n  \"a\" : [\n    [\n\n    ],\n"
                                                      "    {\n\n    }\n  ]\n}");
        QTest::newRow("literals") << QByteArray(R"({"b":[true,false,null],"a":"x"})")
                                  << QByteArray("{\n  \"a\" : \"x\",\n  \"b\" : [\n    true,\n"
                                                "    false,\n    null\n  ]\n}");
        QTest::newRow("objects in array")
            << QByteArray(R"({"s":[{"value":1,"appearance":"dark"},{"value":{"solid":"c"}}]})")
            << QByteArray("{\n  \"s\" : [\n    {\n      \"appearance\" : \"dark\",\n"
                          "      \"value\" : 1\n    },\n    {\n      \"value\" : {\n"
                          "        \"solid\" : \"c\"\n      }\n    }\n  ]\n}");
        // Code points, not case-blind or numeric order: 'Z' (5A) < 'a' (61), '1' < '2', and a
        // prefix before its extensions ('-' is 2D).
        QTest::newRow("key order")
            << QByteArray(R"({"fill-specializations":1,"alpha":2,"a2":3,"fill":4,"Zeta":5,)"
                          R"("a10":6,"fill-a":7})")
            << QByteArray("{\n  \"Zeta\" : 5,\n  \"a10\" : 6,\n  \"a2\" : 3,\n  \"alpha\" : 2,\n"
                          "  \"fill\" : 4,\n  \"fill-a\" : 7,\n  \"fill-specializations\" : 1\n}");
        // U+FF5E before U+1F600, although its UTF-16 unit FF5E sorts after the surrogate D83D.
        QTest::newRow("beyond the BMP")
            << QByteArray("{\"\xf0\x9f\x98\x80\":1,\"\xef\xbd\x9e\":2,\"z\":3}")
            << QByteArray(
                   "{\n  \"z\" : 3,\n  \"\xef\xbd\x9e\" : 2,\n  \"\xf0\x9f\x98\x80\" : 1\n}");
    }

    void layout()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, written);
        QCOMPARE(IconJson::write(parsed(json)), written);
    }

    void numbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("one") << 1.0 << QByteArray("1");
        QTest::newRow("zero") << 0.0 << QByteArray("0");
        QTest::newRow("negative zero") << -0.0 << QByteArray("0");
        QTest::newRow("negative whole") << -42.0 << QByteArray("-42");
        QTest::newRow("half") << 0.5 << QByteArray("0.5");
        QTest::newRow("binary fraction") << 24.09375 << QByteArray("24.09375");
        QTest::newRow("unrounded") << 1.7218333746113785 << QByteArray("1.7218333746113785");
        QTest::newRow("tenth") << 0.1 << QByteArray("0.1");
        QTest::newRow("third") << 1.0 / 3 << QByteArray("0.3333333333333333");
        QTest::newRow("small") << 1e-7 << QByteArray("0.0000001");
        QTest::newRow("negative small") << -2.5e-10 << QByteArray("-0.00000000025");
        QTest::newRow("large whole") << 1e21 << QByteArray("1000000000000000000000");
        QTest::newRow("2^53 + 2") << 9007199254740994.0 << QByteArray("9007199254740994");
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QByteArray("0");
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << QByteArray("0");
        QTest::newRow("-infinity") << -std::numeric_limits<double>::infinity() << QByteArray("0");
    }

    void numbers()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, written);
        QCOMPARE(IconJson::write(QJsonObject{{"n", value}}), "{\n  \"n\" : " + written + "\n}");
    }

    // Numbers as they come from a file: the text is what a reader keeps, not its spelling.
    void numbersRead_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("1.0") << QByteArray("1.0") << QByteArray("1");
        QTest::newRow("exponent") << QByteArray("2.5E2") << QByteArray("250");
        QTest::newRow("small exponent") << QByteArray("1e-7") << QByteArray("0.0000001");
        QTest::newRow("-0") << QByteArray("-0.0") << QByteArray("0");
        QTest::newRow("trailing zeros") << QByteArray("0.50000") << QByteArray("0.5");
        QTest::newRow("2^53 + 1") << QByteArray("9007199254740993")
                                  << QByteArray("9007199254740993");
        QTest::newRow("int64 minimum")
            << QByteArray("-9223372036854775808") << QByteArray("-9223372036854775808");
    }

    void numbersRead()
    {
        QFETCH(QByteArray, number);
        QFETCH(QByteArray, written);
        QJsonObject document;
        QString error;
        QVERIFY2(IconJson::read("{\"n\": " + number + "}", &document, &error), qPrintable(error));
        QCOMPARE(IconJson::write(document), "{\n  \"n\" : " + written + "\n}");
    }

    void strings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << "Vector (1).svg" << QByteArray(R"("Vector (1).svg")");
        QTest::newRow("quote") << "say \"hi\"" << QByteArray("\"say \\\"hi\\\"\"");
        QTest::newRow("backslash") << R"(a\b)" << QByteArray(R"("a\\b")");
        QTest::newRow("slash") << "a/b" << QByteArray(R"("a\/b")");
        QTest::newRow("short escapes") << "\n\t\r\b\f" << QByteArray(R"("\n\t\r\b\f")");
        QTest::newRow("other controls") << QString(QChar(0)) + QChar(1) + QChar(0x1b) + QChar(0x1f)
                                        << QByteArray(R"("\u0000\u0001\u001b\u001f")");
        QTest::newRow("delete and space") << "\x7f " << QByteArray("\"\x7f \"");
        QTest::newRow("en dash") << QString::fromUtf8("Logo \xe2\x80\x93 dark.svg")
                                 << QByteArray("\"Logo \xe2\x80\x93 dark.svg\"");
        QTest::newRow("emoji") << QString::fromUtf8("\xf0\x9f\x98\x80")
                               << QByteArray("\"\xf0\x9f\x98\x80\"");
    }

    void strings()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        QCOMPARE(IconJson::write(QJsonObject{{"s", text}}), "{\n  \"s\" : " + written + "\n}");
        // Keys take the same escapes.
        QCOMPARE(IconJson::write(QJsonObject{{text, 1}}), "{\n  " + written + " : 1\n}");
        QJsonObject back;
        QVERIFY(IconJson::read(IconJson::write(QJsonObject{{"s", text}}), &back, nullptr));
        QCOMPARE(back.value("s").toString(), text);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank") << QByteArray(" \n\t");
        QTest::newRow("top-level array") << QByteArray("[{\"groups\" : []}]");
        QTest::newRow("top-level string") << QByteArray("\"icon\"");
        QTest::newRow("unclosed") << QByteArray("{\"groups\" : [");
        QTest::newRow("missing value") << QByteArray("{\"fill\" : }");
        QTest::newRow("trailing comma") << QByteArray("{\"a\" : 1,}");
        QTest::newRow("two documents") << QByteArray("{} {}");
        QTest::newRow("not JSON") << QByteArray("fill = automatic");
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

    void accepted()
    {
        QJsonObject document;
        QString error = "stale";
        QVERIFY(
            IconJson::read("\n{ \"fill\":\"automatic\" ,\"groups\":[ ] }\n", &document, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(document, (QJsonObject{{"fill", "automatic"}, {"groups", QJsonArray()}}));
    }
};

QTEST_GUILESS_MAIN(IconJsonTest)
#include "tst_iconjson.moc"
