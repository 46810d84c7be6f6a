// Every image the window loads from the resources is there, decodes, has the size the
// window's geometry is built on, is not blank, and each button's looks differ; each
// language's localized buttons differ from the English ones, so none shows another
// language's caption.
#include <QCoreApplication>
#include <QDirIterator>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSize>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const QString languages = "{cn,de,en,es,fr,hk,it,jp,nl,pt}";

// Expands the first "{a,b,...}" of a pattern (choices may hold braces of their own), then
// the rest, as a shell does.
QStringList expand(const QString& pattern)
{
    const qsizetype open = pattern.indexOf('{');
    if (open < 0)
        return {pattern};
    QStringList choices{QString()};
    int depth = 0;
    qsizetype close = open + 1;
    for (; close < pattern.size(); ++close) {
        const QChar c = pattern[close];
        if (c == '}' && depth == 0)
            break;
        if (c == ',' && depth == 0) {
            choices << QString();
            continue;
        }
        depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        choices.last() += c;
    }
    QStringList out;
    for (const QString& choice : choices)
        out << expand(pattern.left(open) + choice + pattern.mid(close + 1));
    return out;
}

// Every resource path the window uses, with its size.
const std::map<QString, QSize>& expected_images()
{
    static const std::map<QString, QSize> table = [] {
        const std::pair<QString, QSize> rows[] = {
            {"top.ico", {48, 48}},
            {"background/bai.png", {16, 90}},
            {"background/gaoguang.png", {360, 90}},
            {"home/buttonscan{1,2,3}.png", {330, 106}},
            {"home/buttonrecovery{1,2,3}.png", {323, 106}},
            {"home/wenzi.png", {692, 188}},
            {"multilang/" + languages + "/btn_top{1,2,3}{1,2,3,4}.png", {95, 70}},
            {"multilang/" + languages + "/btn_start_scan{1,2,3}.png", {330, 106}},
            {"multilang/" + languages + "/btn_resume_recovery{1,2,3}.png", {323, 106}},
            {"partition_search/btn_{wai,nei}_{1,2,3,4}.png", {100, 30}},
            {"partition_search/btn_start_{1,2,3,4}.png", {80, 30}},
            {"partition_search/loding_{bj,on}.png", {24, 12}},
            {"partition_search/{red,green}.png", {16, 18}},
            {"partition_search/drives.png", {20, 20}},
            {"partition_search/check{1,2}.png", {14, 14}},
            {"partition_search/icon_found{1,2,3,4,5}.png", {64, 64}},
            {"top/logo.png", {110, 44}},
            {"top/{home,lostfiles,partition,raw,delete,setting}{1,2,3,4}.png", {64, 64}},
            {"system/{min,max,resume,qui,setting}Button{1,2,3}.png", {30, 21}},
            {"system/so.png", {200, 100}},
            {"system/{sl,sr}.png", {6, 16}},
            {"system/su.png", {16, 8}},
            {"dialogs/bigbutter{1,2,3}.png", {120, 36}},
            {"dialogs/so.png", {200, 34}},
            {"dialogs/{sl,sr}.png", {6, 16}},
            {"dialogs/su.png", {16, 8}},
            {"recovery/ani.gif", {130, 86}},
            {"recovery/folder.png", {16, 16}},
            {"recovery/toggle{,_plus}.png", {11, 11}},
            {"recovery/jianbian.png", {8, 24}},
        };
        std::map<QString, QSize> paths;
        for (const auto& [pattern, size] : rows)
            for (const QString& path : expand(pattern))
                paths[":/images/" + path] = size;
        return paths;
    }();
    return table;
}

// Sets of looks: "%1" stands for the look's digit, 1 normal, 2 hover, 3 pressed.
const QStringList look_sets =
    expand("{multilang/" + languages + "/btn_top{1,2,3}%1,multilang/" + languages +
           "/btn_{start_scan,resume_recovery}%1,home/button{scan,recovery}%1,"
           "partition_search/btn_{wai,nei,start}_%1,system/{min,max,resume,qui,setting}Button%1,"
           "dialogs/bigbutter%1,top/{home,lostfiles,partition,raw,delete,setting}%1}");

bool has_visible_pixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
    return false;
}

TEST(CompiledImages, ResourcesHoldExactlyTheWindowsImages)
{
    std::set<QString> compiled;
    QDirIterator it(":/images", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        compiled.insert(it.next());
    std::set<QString> expected;
    for (const auto& entry : expected_images())
        expected.insert(entry.first);
    std::vector<QString> missing, unlisted;
    std::set_difference(expected.begin(), expected.end(), compiled.begin(), compiled.end(),
                        std::back_inserter(missing));
    std::set_difference(compiled.begin(), compiled.end(), expected.begin(), expected.end(),
                        std::back_inserter(unlisted));
    EXPECT_TRUE(missing.empty()) << "missing, first: " << missing.front().toStdString();
    EXPECT_TRUE(unlisted.empty()) << "not in the table, first: " << unlisted.front().toStdString();
}

TEST(CompiledImages, EachDecodesVisibleAtItsSize)
{
    for (const auto& [path, size] : expected_images()) {
        SCOPED_TRACE(path.toStdString());
        const QImage image(path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), size);
        EXPECT_TRUE(has_visible_pixel(image));
    }
}

TEST(CompiledImages, ScanAnimationHasFramesOfOneSize)
{
    QImageReader reader(":/images/recovery/ani.gif");
    ASSERT_TRUE(reader.supportsAnimation());
    ASSERT_GT(reader.imageCount(), 1);
    for (int frame = 0; frame < reader.imageCount(); ++frame) {
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << "frame " << frame;
        EXPECT_EQ(image.size(), QSize(130, 86)) << "frame " << frame;
    }
}

TEST(CompiledImages, ButtonLooksDiffer)
{
    for (const QString& set : look_sets) {
        SCOPED_TRACE(set.toStdString());
        const QImage normal(":/images/" + set.arg(1) + ".png"), hover(":/images/" + set.arg(2) + ".png"),
            pressed(":/images/" + set.arg(3) + ".png");
        ASSERT_FALSE(normal.isNull() || hover.isNull() || pressed.isNull());
        EXPECT_NE(normal, hover);
        EXPECT_NE(normal, pressed);
        EXPECT_NE(hover, pressed);
    }
}

TEST(CompiledImages, LocalizedButtonsCarryTheirOwnLanguage)
{
    const QStringList names = expand("{btn_top{1,2,3}{1,2,3,4},btn_start_scan{1,2,3},btn_resume_recovery{1,2,3}}.png");
    for (const QString& code : expand(languages)) {
        if (code == "en")
            continue;
        for (const QString& name : names) {
            SCOPED_TRACE((code + "/" + name).toStdString());
            EXPECT_NE(QImage(":/images/multilang/" + code + "/" + name), QImage(":/images/multilang/en/" + name));
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
