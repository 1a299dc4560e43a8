// The compiled-in resources are reachable under the names the program uses.
#include <QFile>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(Resources, PicturesLoadFromTheProgramWithTheirSizes)
{
    const struct {
        const char *path;
        int width;
        int height;
    } pictures[] = {
        { ":/zentrolux/splash.png", 591, 399 },
        { ":/zentrolux/camera.png", 17, 17 },
        { ":/zentrolux/icon16.png", 16, 16 },
        { ":/zentrolux/icon32.png", 32, 32 },
        { ":/zentrolux/about.png", 395, 111 },
        { ":/zentrolux/hand.png", 32, 32 },
    };
    for (const auto &p : pictures) {
        const QImage image(QString::fromLatin1(p.path));
        ASSERT_FALSE(image.isNull()) << p.path;
        EXPECT_EQ(image.width(), p.width) << p.path;
        EXPECT_EQ(image.height(), p.height) << p.path;
    }
    EXPECT_GT(qAlpha(QImage(":/zentrolux/hand.png").pixel(12, 1)), 0);
}

TEST(Resources, ClickSoundIsCompiledInWhole)
{
    QFile click(":/zentrolux/click.wav");
    ASSERT_TRUE(click.open(QIODevice::ReadOnly));
    const QByteArray data = click.readAll();
    EXPECT_EQ(data.size(), 21202);
    EXPECT_TRUE(data.startsWith("RIFF"));
}

} // namespace
