#include "app/l10n/L10n.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace aerivo {
namespace {

std::size_t countOf(std::string_view text, std::string_view needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

// Strict UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing past
// U+10FFFF.
bool isValidUtf8(std::string_view text) {
    std::size_t index = 0;
    while (index < text.size()) {
        const auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = 0;
        char32_t point = 0;
        if (lead < 0x80) {
            ++index;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (index + length > text.size()) {
            return false;
        }
        for (std::size_t offset = 1; offset < length; ++offset) {
            const auto next = static_cast<unsigned char>(text[index + offset]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        index += length;
    }
    return true;
}

TEST(L10nKey, KeysInDeclarationOrderNamedAfterTheirCases) {
    ASSERT_EQ(allL10nKeys.size(), 105u);
    std::set<std::string_view> names;
    for (std::size_t index = 0; index < allL10nKeys.size(); ++index) {
        const L10nKey key = allL10nKeys[index];
        EXPECT_EQ(static_cast<std::size_t>(key), index);
        const std::string_view name = rawValue(key);
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(names.insert(name).second) << "duplicate raw value " << name;
        EXPECT_EQ(l10nKeyFromRawValue(name), key);
    }
    EXPECT_EQ(rawValue(L10nKey::activeTarget), "activeTarget");
    EXPECT_EQ(allL10nKeys.front(), L10nKey::activeTarget);
    EXPECT_EQ(rawValue(allL10nKeys[25]), "aerivoMac");
    EXPECT_EQ(rawValue(allL10nKeys[86]), "currentTargetAnnotation");
    EXPECT_EQ(rawValue(allL10nKeys[89]), "safetyModeDescription");
    EXPECT_EQ(allL10nKeys.back(), L10nKey::checkingHelper);
}

TEST(L10nKey, FromRawValueIsExact) {
    EXPECT_EQ(l10nKeyFromRawValue("ActiveTarget"), std::nullopt);
    EXPECT_EQ(l10nKeyFromRawValue("activeTarget "), std::nullopt);
    EXPECT_EQ(l10nKeyFromRawValue(""), std::nullopt);
    EXPECT_EQ(l10nKeyFromRawValue("Active target"), std::nullopt);
}

TEST(L10nTable, EveryLanguageMapsEveryKeyToValidNonEmptyText) {
    const L10n::Translations& table = L10n::translations();
    ASSERT_EQ(table.size(), allAppLanguages.size());
    for (AppLanguage language : allAppLanguages) {
        const auto found = table.find(language);
        ASSERT_NE(found, table.end()) << rawValue(language);
        EXPECT_EQ(found->second.size(), allL10nKeys.size()) << rawValue(language);
        for (L10nKey key : allL10nKeys) {
            const auto entry = found->second.find(key);
            ASSERT_NE(entry, found->second.end()) << rawValue(language) << " " << rawValue(key);
            EXPECT_FALSE(entry->second.empty()) << rawValue(language) << " " << rawValue(key);
            EXPECT_TRUE(isValidUtf8(entry->second)) << rawValue(language) << " " << rawValue(key);
        }
    }
}

TEST(L10nTable, TranslationsKeepThePlaceholdersAndNoOtherPercentSigns) {
    for (L10nKey key : allL10nKeys) {
        const std::string english = L10n::text(key, AppLanguage::english);
        const std::size_t placeholders = countOf(english, "%@");
        for (AppLanguage language : allAppLanguages) {
            const std::string text = L10n::text(key, language);
            EXPECT_EQ(countOf(text, "%@"), placeholders)
                << rawValue(language) << " " << rawValue(key);
            // Any other "%" would be a directive the formatter does not fill.
            EXPECT_EQ(countOf(text, "%"), placeholders)
                << rawValue(language) << " " << rawValue(key);
        }
    }
}

TEST(L10nTable, ProductAndPlatformNamesStayInLatinLetters) {
    for (L10nKey key : allL10nKeys) {
        const std::string english = L10n::text(key, AppLanguage::english);
        for (std::string_view name : {"Aerivo Mac", "macOS", "RPM"}) {
            for (AppLanguage language : allAppLanguages) {
                EXPECT_EQ(countOf(L10n::text(key, language), name) > 0, countOf(english, name) > 0)
                    << rawValue(language) << " " << rawValue(key) << " " << name;
            }
        }
    }
}

TEST(L10nTable, EveryLanguageIsActuallyTranslated) {
    // Only names, units and abbreviations shared by the languages may equal the English text.
    const std::set<std::string> sharedEverywhere{"Aerivo Mac", "RPM"};
    const std::set<std::string> sharedWithSpanish{"Aerivo Mac", "RPM", "5 min", "30 min"};
    for (AppLanguage language : allAppLanguages) {
        if (language == AppLanguage::english) {
            continue;
        }
        const auto& allowed =
            language == AppLanguage::spanish ? sharedWithSpanish : sharedEverywhere;
        for (L10nKey key : allL10nKeys) {
            const std::string english = L10n::text(key, AppLanguage::english);
            if (allowed.contains(english)) {
                continue;
            }
            EXPECT_NE(L10n::text(key, language), english)
                << rawValue(language) << " " << rawValue(key);
        }
    }
}

TEST(L10nTable, EnglishTexts) {
    EXPECT_EQ(L10n::text(L10nKey::activeTarget, AppLanguage::english), "Active target");
    EXPECT_EQ(L10n::text(L10nKey::controlWithCurve, AppLanguage::english), "Turn On Fan Control");
    EXPECT_EQ(L10n::text(L10nKey::curveEditorSubtitle, AppLanguage::english),
              "Drag points or click their labels to set exact temperature and fan-speed targets. "
              "The observed live temperature distribution appears on the graph.");
    EXPECT_EQ(L10n::text(L10nKey::fanWritesSafetyNote, AppLanguage::english),
              "Curve control renews a short helper lease; stopping the app returns fan control "
              "to macOS.");
    EXPECT_EQ(L10n::text(L10nKey::launchAtLoginRequiresApproval, AppLanguage::english),
              "Approve Aerivo Mac in System Settings > General > Login Items.");
    EXPECT_EQ(L10n::text(L10nKey::thermalWindow, AppLanguage::english), "Temp range");
    EXPECT_EQ(L10n::text(L10nKey::last1Hour, AppLanguage::english), "1 hr");
    EXPECT_EQ(L10n::text(L10nKey::last24Hours, AppLanguage::english), "24 hr");
    EXPECT_EQ(L10n::text(L10nKey::checkingForUpdates, AppLanguage::english), "Checking...");
    EXPECT_EQ(L10n::text(L10nKey::currentTargetAnnotation, AppLanguage::english), "now -> %@");
    EXPECT_EQ(L10n::text(L10nKey::safetyModeDescription, AppLanguage::english),
              "Requesting maximum RPM at the safety limit");
}

TEST(L10nTable, FixedRowsInEveryLanguage) {
    struct Row {
        L10nKey key;
        const char* korean;
        const char* japanese;
        const char* chinese;
        const char* spanish;
    };
    const Row rows[] = {
        {L10nKey::allowedRange, "허용 범위: %@ - %@", "許容範囲: %@ - %@", "允许范围: %@ - %@",
         "Rango permitido: %@ - %@"},
        {L10nKey::currentTargetAnnotation, "현재 -> %@", "現在 -> %@", "当前 -> %@", "ahora -> %@"},
        {L10nKey::updateAvailable, "업데이트 가능: %@ (현재 %@).",
         "アップデートがあります: %@（現在 %@）。", "有可用更新: %@ (当前 %@)。",
         "Actualización disponible: %@ (actual %@)."},
        {L10nKey::last1Hour, "1시간", "1時間", "1小时", "1 h"},
        {L10nKey::aerivoMac, "Aerivo Mac", "Aerivo Mac", "Aerivo Mac", "Aerivo Mac"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(L10n::text(row.key, AppLanguage::korean), row.korean);
        EXPECT_EQ(L10n::text(row.key, AppLanguage::japanese), row.japanese);
        EXPECT_EQ(L10n::text(row.key, AppLanguage::chineseSimplified), row.chinese);
        EXPECT_EQ(L10n::text(row.key, AppLanguage::spanish), row.spanish);
    }
    EXPECT_EQ(L10n::text(L10nKey::cancel, AppLanguage::spanish), "Cancelar");
}

TEST(L10nTable, BuiltOnceEvenUnderConcurrentFirstUse) {
    std::vector<const L10n::Translations*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < seen.size(); ++index) {
        threads.emplace_back([&seen, index] { seen[index] = &L10n::translations(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const L10n::Translations* table : seen) {
        EXPECT_EQ(table, &L10n::translations());
    }
}

TEST(L10nText, FallsBackToEnglishThenToTheRawValue) {
    L10n::Translations partial;
    partial[AppLanguage::english][L10nKey::cancel] = "Cancel";
    partial[AppLanguage::english][L10nKey::save] = "Save";
    partial[AppLanguage::korean][L10nKey::save] = "저장";

    EXPECT_EQ(L10n::text(partial, L10nKey::save, AppLanguage::korean), "저장");
    EXPECT_EQ(L10n::text(partial, L10nKey::cancel, AppLanguage::korean), "Cancel");
    EXPECT_EQ(L10n::text(partial, L10nKey::cancel, AppLanguage::japanese), "Cancel");
    EXPECT_EQ(L10n::text(partial, L10nKey::safetyLimit, AppLanguage::korean), "safetyLimit");
    EXPECT_EQ(L10n::text(L10n::Translations{}, L10nKey::activeTarget, AppLanguage::spanish),
              "activeTarget");
}

} // namespace
} // namespace aerivo
