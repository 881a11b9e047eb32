#include "catalogue/AssetNaming.h"
#include "catalogue/DigitText.h"
#include "catalogue/QVIconData.h"

#include <QJsonArray>
#include <QTest>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Xcode's slots as "idiom points scale Icon-<name>.png", written out by hand.
const char *IosSlots = "iphone 20 2 40,iphone 20 3 60,iphone 29 2 Small@2x,iphone 29 3 Small@3x,"
                       "iphone 40 2 40@2x,iphone 40 3 60@2x,iphone 60 2 60@2x,iphone 60 3 60@3x,"
                       "ipad 20 1 20,ipad 20 2 40,ipad 29 1 Small,ipad 29 2 Small@2x,ipad 40 1 40,"
                       "ipad 40 2 40@2x,ipad 76 1 76,ipad 76 2 76@2x,ipad 83.5 2 83.5@2x,"
                       "ios-marketing 1024 1 1024";
const char *MacSlots = "mac 16 1 16,mac 16 2 32,mac 32 1 32,mac 32 2 64,mac 128 1 128,mac 128 2 "
                       "256,mac 256 1 256,mac 256 2 512,mac 512 1 512,mac 512 2 1024";
// path|folder|name: the folder without its "/", the name cut at the last dot.
const char *Paths = "/home/u/my.logo.png|/home/u/|my;logo.png||logo;/icon|/|icon;a b/.x.png|a b/|";
// text|ratio|height|width|the ratio truncated: halves not away from zero, a double read of the
// text, floor(x + 0.5), undefined conversions of huge, infinite or NaN values.
const char *Proportions =
    "5|0.5|3|10|0;1|-2.5|-3|0|-2;16777217|1|16777216|16777216|1;1|0.49999999999999994|0|2|0;"
    "1|2147483646.5|2147483647|0|2147483646;1000|-1e300|-2147483648|0|-2147483648;"
    "100|0|0|2147483647|0;0|0|0|0|0;3|inf|2147483647|0|2147483647;3|nan|0|0|0;"
    "9999999999999999999999999999999999999999|1|2147483647|2147483647|1";
// text|cursor|digits kept|cursor after|toInt32|toFloat: digits of other scripts and planes
// dropped, split or read as 0; a cursor counted in code points; wrapping; strtod's exponents;
// blanks or a sign alone.
const char *FieldTexts = "12ab3|3|123|2|12|12;١٢x|2|١٢|2|12|12;x𝟏|2|𝟏|0|0|0;𝟏𝟐|2|𝟏𝟐|2|12|12;"
                         "²½Ⅻ3|4|3|1|0|0;  -45x|4|45|1|-45|-45;1e5 0x10|8|15010|5|1|1;"
                         "-2147483649|0|2147483649|0|-2147483648|-2147483648;"
                         "99999999999999999999|0|99999999999999999999|0|2147483647|1e20;"
                         "   |3||0|0|0;|0||0|0|0;+|1||0|0|0";

// A copy of a text that ends right before memory that cannot be read, so that any read past its
// end crashes in every build, not only under the sanitizers.
class GuardedText
{
public:
    explicit GuardedText(const QString &text)
    {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        m_bytes = (size_t(text.size()) * sizeof(QChar) + page - 1) / page * page + page;
        m_map = mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_map == MAP_FAILED || mprotect(end() - page, page, PROT_NONE) != 0)
            qFatal("cannot map a guarded text");
        QChar *start = reinterpret_cast<QChar *>(end() - page) - text.size();
        std::copy(text.cbegin(), text.cend(), start);
        m_text = QString::fromRawData(start, text.size());
    }
    ~GuardedText() { munmap(m_map, m_bytes); }
    GuardedText(const GuardedText &) = delete;
    GuardedText &operator=(const GuardedText &) = delete;
    const QString &text() const { return m_text; }

private:
    char *end() const { return static_cast<char *>(m_map) + m_bytes; }
    void *m_map;
    size_t m_bytes;
    QString m_text;
};

// A table written as "field|field;next row|...", each row named by its own text.
void rowsOf(const char *table)
{
    QTest::addColumn<QStringList>("f");
    for (const QString &row : QString(table).split(';'))
        QTest::newRow(qPrintable(row)) << row.split('|');
}

} // namespace

class CatalogueTest : public QObject
{
    Q_OBJECT
private slots:
    void iconTables_data() { rowsOf("ios;mac"); }
    // A wrong slot or file name, a missing or extra file, a name paired with another's size.
    void iconTables()
    {
        const bool ios = QTest::currentDataTag() == QByteArray("ios");
        const auto sizes =
            ios ? QVIconData::sizesToMakeForIcon() : QVIconData::sizesToMakeForIconMac();
        const auto names =
            ios ? QVIconData::filenamesForSizes() : QVIconData::filenamesForSizesMac();
        QJsonArray images;
        QMap<QString, int> pixels;
        for (const QString &slot : QString(ios ? IosSlots : MacSlots).split(',')) {
            const QStringList s = slot.split(' ');
            const QString file = "Icon-" + s[3] + ".png";
            images.append(QJsonObject{{"idiom", s[0]},
                                      {"size", s[1] + 'x' + s[1]},
                                      {"scale", s[2] + 'x'},
                                      {"filename", file}});
            pixels[file] = int(s[1].toDouble() * s[2].toInt());
        }
        QCOMPARE(names.size(), pixels.size());
        for (qsizetype i = 0; i < names.size(); ++i)
            QCOMPARE(sizes.value(i), pixels.value(names[i], -1));
        QCOMPARE(ios ? QVIconData::appIconContents() : QVIconData::appIconContentsMac(),
                 (QJsonObject{{"images", images},
                              {"info", QJsonObject{{"version", 1}, {"author", "xcode"}}}}));
    }
    void namingDefaults_data() { rowsOf(Paths); }
    void namingDefaults()
    {
        QFETCH(QStringList, f);
        QCOMPARE(AssetNaming::defaultOutputFolder(f[0]), f[1]);
        QCOMPARE(AssetNaming::defaultAssetName(f[0].section('/', -1)), f[2]);
    }
    void proportions_data() { rowsOf(Proportions); }
    void proportions()
    {
        QFETCH(QStringList, f);
        QCOMPARE(AssetNaming::heightForWidth(f[0], f[1].toDouble()), f[2].toInt());
        QCOMPARE(AssetNaming::widthForHeight(f[0], f[1].toDouble()), f[3].toInt());
        QCOMPARE(DigitText::truncateToInt32(f[1].toDouble()), f[4].toInt());
    }
    void fieldText_data() { rowsOf(FieldTexts); }
    void fieldText()
    {
        QFETCH(QStringList, f);
        const GuardedText text(f[0]);
        int cursor = f[1].toInt();
        QCOMPARE(DigitText::keepDigits(text.text(), &cursor), f[2]);
        QCOMPARE(cursor, f[3].toInt());
        QCOMPARE(DigitText::toInt32(text.text()), f[4].toInt());
        QCOMPARE(DigitText::toFloat(text.text()), f[5].toFloat());
    }
};

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
