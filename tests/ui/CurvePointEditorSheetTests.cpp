#include "app/ui/CurvePointEditorSheet.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>

namespace aerivo {
namespace {

struct Committed {
    Uuid id;
    double temperatureC = 0;
    double rpm = 0;
};

// A sheet for one point of the balanced profile, recording its commits.
struct SheetHarness {
    AerivoProfile profile = AerivoProfile::balanced();
    std::vector<Committed> commits;
    CurvePointEditorSheet sheet;

    explicit SheetHarness(Uuid id, AppLanguage language = AppLanguage::english)
        : sheet([this]() -> const AerivoProfile& { return profile; }, id, language,
                [this](const Uuid& point, double temperatureC, double rpm) {
                    commits.push_back(Committed{point, temperatureC, rpm});
                }) {}
};

void type(QLineEdit* field, const char* text) {
    field->selectAll();
    QTest::keyClicks(field, text);
}

TEST(CurvePointEditorSheetTest, SaveClampsTheTypedValuesIntoThePointsBounds) {
    // The 68 C / 3400 rpm point may go from 53 to 81 C and 1200 to 6200 rpm.
    struct Case {
        const char* temperature; // typed, or null for untouched
        const char* rpm;
        double savedTemperatureC;
        double savedRPM;
    };
    const Case cases[] = {
        {"95", nullptr, 81, 3400},
        {"40", nullptr, 53, 3400},
        {"-5", nullptr, 53, 3400},
        {nullptr, "9000", 68, 6200},
        {"70", "2500", 70, 2500},
        // Whole numbers only: the letter and the decimal point are refused as they are typed.
        {"7x0", nullptr, 70, 3400},
        {nullptr, "1.5", 68, 1200},
    };
    for (const Case& c : cases) {
        SheetHarness harness(AerivoProfile::balanced().points[2].id);
        if (c.temperature) {
            type(harness.sheet.temperatureField(), c.temperature);
        }
        if (c.rpm) {
            type(harness.sheet.rpmField(), c.rpm);
        }
        QTest::mouseClick(harness.sheet.saveButton(), Qt::LeftButton);
        ASSERT_EQ(harness.commits.size(), 1u) << c.temperature;
        EXPECT_EQ(harness.commits[0].id, harness.profile.points[2].id);
        EXPECT_DOUBLE_EQ(harness.commits[0].temperatureC, c.savedTemperatureC) << c.temperature;
        EXPECT_DOUBLE_EQ(harness.commits[0].rpm, c.savedRPM) << c.rpm;
        EXPECT_EQ(harness.sheet.result(), QDialog::Accepted);
    }
}

TEST(CurvePointEditorSheetTest, ShowsTheAllowedRangesAndSavesWithReturn) {
    SheetHarness harness(AerivoProfile::balanced().points[2].id, AppLanguage::spanish);
    EXPECT_EQ(harness.sheet.temperatureRangeLabel()->text().toStdString(),
              "Rango permitido: 53 C - 81 C");
    EXPECT_EQ(harness.sheet.rpmRangeLabel()->text().toStdString(),
              "Rango permitido: 1200 RPM - 6200 RPM");
    EXPECT_EQ(harness.sheet.temperatureField()->text().toStdString(), "68");
    harness.sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&harness.sheet));
    type(harness.sheet.temperatureField(), "60");
    QTest::keyClick(harness.sheet.temperatureField(), Qt::Key_Return);
    ASSERT_EQ(harness.commits.size(), 1u);
    EXPECT_DOUBLE_EQ(harness.commits[0].temperatureC, 60);
}

TEST(CurvePointEditorSheetTest, AnEmptiedOrHalfTypedFieldKeepsItsLastValue) {
    // The 68 C point; its speed field is left alone.
    SheetHarness harness(AerivoProfile::balanced().points[2].id);
    harness.sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&harness.sheet));
    QLineEdit* field = harness.sheet.temperatureField();
    field->setFocus();
    // Cleared with two Backspaces, then Return: the "6" on the way is never saved.
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_EQ(harness.commits.size(), 1u);
    EXPECT_DOUBLE_EQ(harness.commits[0].temperatureC, 68);

    // A value finished with Tab holds; a lone "-" typed over it afterwards does not replace it.
    SheetHarness again(AerivoProfile::balanced().points[2].id);
    type(again.sheet.temperatureField(), "75");
    Q_EMIT again.sheet.temperatureField()->editingFinished();
    EXPECT_EQ(again.sheet.temperatureField()->text().toStdString(), "75");
    type(again.sheet.temperatureField(), "-");
    QTest::mouseClick(again.sheet.saveButton(), Qt::LeftButton);
    ASSERT_EQ(again.commits.size(), 1u);
    EXPECT_DOUBLE_EQ(again.commits[0].temperatureC, 75);
    EXPECT_DOUBLE_EQ(again.commits[0].rpm, 3400);
}

TEST(CurvePointEditorSheetTest, CancelAndAVanishedPointCommitNothing) {
    SheetHarness cancelled(AerivoProfile::balanced().points[1].id);
    type(cancelled.sheet.temperatureField(), "60");
    QTest::mouseClick(cancelled.sheet.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(cancelled.sheet.result(), QDialog::Rejected);
    EXPECT_TRUE(cancelled.commits.empty());

    // A point the profile no longer has starts at the axis minimums, without form or Save.
    SheetHarness vanished(Uuid::random());
    EXPECT_EQ(vanished.sheet.temperatureC(), 30);
    EXPECT_EQ(vanished.sheet.rpm(), 1200);
    EXPECT_TRUE(vanished.sheet.form()->isHidden());
    EXPECT_FALSE(vanished.sheet.saveButton()->isEnabled());
    vanished.sheet.commit();
    EXPECT_TRUE(vanished.commits.empty());

    // The point going while the sheet is open disables Save on the next refresh.
    SheetHarness removed(AerivoProfile::balanced().points[4].id);
    removed.profile.removeLastEditablePoint();
    removed.sheet.refresh();
    EXPECT_FALSE(removed.sheet.saveButton()->isEnabled());
    removed.sheet.commit();
    EXPECT_TRUE(removed.commits.empty());
}

} // namespace
} // namespace aerivo
