#include "app/l10n/L10n.h"
#include "app/ui/StatusItemImage.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QSystemTrayIcon>

namespace aerivo {
namespace {

TEST(StatusItem, WidthIsThirtyPlusEightPerUserPerceivedCharacterAndAtLeast54) {
    struct Case {
        const char* text;
        int characters;
        int width;
    };
    for (const Case& c : {
             Case{"", 0, 54}, Case{"42%", 3, 54}, Case{"100%", 4, 62}, Case{"2400 RPM", 8, 94},
             Case{"1234567890", 10, 110},
             Case{"\U0001F468\u200D\U0001F469\u200D\U0001F467 5%", 4, 62}, // family: 5 code points
             Case{"\U0001F1EF\U0001F1F5", 1, 54},                          // flag: 2 code points
             Case{"e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301", 6, 78},    // combining accents
             Case{"\uD32C", 1, 54},                                        // "팬"
         }) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(userPerceivedCharacterCount(text), c.characters) << c.text;
        EXPECT_EQ(statusItemWidth(text), c.width) << c.text;
    }
}

TEST(StatusItem, ImageHoldsTheSymbolAtTheLeftAndTheTextBesideIt) {
    const auto opaqueColumns = [](const QImage& image, int from, int to) {
        int count = 0;
        for (int x = from; x < to; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixelColor(x, y).alpha() > 128) {
                    ++count;
                    break;
                }
            }
        }
        return count;
    };
    for (const qreal ratio : {1.0, 2.0}) {
        const QImage withText = renderStatusItemImage("42%", 54, 22, Qt::black, ratio).toImage();
        ASSERT_EQ(withText.size(), QSize(54, 22) * ratio);
        const int symbolEnd = static_cast<int>(22 * ratio);
        EXPECT_GT(opaqueColumns(withText, 0, symbolEnd), 0);
        EXPECT_GT(opaqueColumns(withText, symbolEnd, withText.width()),
                  static_cast<int>(10 * ratio));
        const QImage withoutText = renderStatusItemImage("", 54, 22, Qt::black, ratio).toImage();
        EXPECT_EQ(opaqueColumns(withoutText, symbolEnd, withoutText.width()), 0);
    }
}

TEST(StatusItem, FollowsTheStoresSnapshotsAndRedrawsOnlyWhenTheTextChanges) {
    UiHarness harness;
    auto store = harness.make();
    StatusBarController controller(*store, {[] {}, [] {}, [] { return true; }});
    EXPECT_EQ(controller.statusItem().toolTip(), "Aerivo Mac");
    EXPECT_EQ(controller.statusText(), "48%"); // 3000 of 6200 rpm
    const qint64 drawn = controller.statusItem().icon().cacheKey();
    harness.tick(); // same reading
    EXPECT_EQ(controller.statusItem().icon().cacheKey(), drawn);

    harness.actualRPM = 6200.0;
    harness.tick();
    EXPECT_EQ(controller.statusText(), "100%");
    EXPECT_EQ(controller.statusItemWidth(), 62);
    EXPECT_NE(controller.statusItem().icon().cacheKey(), drawn);
    EXPECT_EQ(controller.statusItem().icon().availableSizes().value(0).width(), 62);

    // Without a fan the item says so in the store's language.
    UiHarness fanless(noFan());
    fanless.defaults->setString("AerivoMac.language.v1", "es");
    auto fanlessStore = fanless.make();
    StatusBarController fanlessController(*fanlessStore, {[] {}, [] {}, [] { return true; }});
    EXPECT_EQ(fanlessController.statusText(),
              QString::fromStdString(L10n::text(L10nKey::fan, AppLanguage::spanish)));
}

} // namespace
} // namespace aerivo
